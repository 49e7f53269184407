// quillabrix-svgtopng: draws an SVG (Tiny 1.2, as Qt SVG reads it) into a PNG of a given size.
//   quillabrix-svgtopng IN.svg OUT.png [WIDTHxHEIGHT]   (default 120x90)
// The drawing fills the whole picture; whatever it leaves uncovered stays transparent.

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QSvgRenderer>

#include <cstdio>

namespace {

// Qt's messages, less the one about a runtime folder that a tool without a display never uses.
void printMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (!message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int fail(const QString &message)
{
    std::fprintf(stderr, "quillabrix-svgtopng: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Text in a drawing needs the font database, which needs an application; no display is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(printMessage);
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 3 || args.size() > 4) {
        std::fprintf(stderr, "usage: quillabrix-svgtopng IN.svg OUT.png [WIDTHxHEIGHT]\n");
        return 2;
    }

    const QString in = args.at(1);
    const QString out = args.at(2);
    QSize size(120, 90);
    if (args.size() == 4) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,4})x(\\d{1,4})$"));
        const QRegularExpressionMatch m = pattern.match(args.at(3));
        if (!m.hasMatch() || m.captured(1).toInt() == 0 || m.captured(2).toInt() == 0)
            return fail(QStringLiteral("bad size %1").arg(args.at(3)));
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    }

    QFile file(in);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(in, file.errorString()));
    QSvgRenderer renderer(file.readAll());
    if (!renderer.isValid())
        return fail(QStringLiteral("%1 is not an SVG drawing Qt SVG can read").arg(in));

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();

    // Written whole or not at all, so that a failed run never leaves half a picture for the build to trust.
    QSaveFile target(out);
    if (!target.open(QIODevice::WriteOnly) || !image.save(&target, "PNG") || !target.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(out, target.errorString()));
    return 0;
}
