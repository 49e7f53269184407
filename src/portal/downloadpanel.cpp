#include "portal/downloadpanel.h"

#include "base/portal/answers.h"
#include "base/textcodes.h"
#include "widgets/twips.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <cmath>

namespace {

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, int pointSize10, bool bold)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    // The panel's texts include the server's title and description: shown as the text they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize10 / 10.0);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

DownloadPanel::DownloadPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("download_main"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#download_main { background: #E0E0E0; }"));

    Label1 = makeLabel(this, QStringLiteral("Label1"), tr("Download Game:"), 90, true);
    twips::place(Label1, 480, 360, 1455, 375);
    gamename = makeLabel(this, QStringLiteral("gamename"), QString(), 90, true);
    twips::place(gamename, 2160, 360, 5175, 375);

    s_bg = new QLabel(this);
    s_bg->setObjectName(QStringLiteral("s_bg"));
    s_bg->setStyleSheet(QStringLiteral("background: palette(base); border: 1px solid #A0A0A0;"));
    twips::place(s_bg, 480, 960, 7575, 495);
    s_color = new QLabel(s_bg->parentWidget());
    s_color->setObjectName(QStringLiteral("s_color"));
    s_color->setStyleSheet(QStringLiteral("background: #FF8000;"));
    twips::place(s_color, 495, 975, 30, 465);

    lblSpeed = makeLabel(this, QStringLiteral("lblSpeed"), QString(), 90, true);
    twips::place(lblSpeed, 8280, 1080, 2775, 375);
    loadpic = new QLabel(this);
    loadpic->setObjectName(QStringLiteral("loadpic"));
    loadpic->setAlignment(Qt::AlignCenter);
    twips::place(loadpic, 480, 1920, 1335, 1095);
    gamedec = makeLabel(this, QStringLiteral("gamedec"), QString(), 90, false);
    gamedec->setWordWrap(true);
    gamedec->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    twips::place(gamedec, 2160, 1920, 5895, 3615);

    b_list = new QPushButton(tr("Downloads list"), this);
    b_list->setObjectName(QStringLiteral("b_list"));
    twips::place(b_list, 8280, 1920, 2775, 375);
    connect(b_list, &QPushButton::clicked, this, &DownloadPanel::listRequested);
}

double DownloadPanel::trackWidthTwips() const
{
    return twips::fromPixels(s_bg->width());
}

void DownloadPanel::setFillTwips(double twipsWidth)
{
    m_fillTwips = twipsWidth;
    s_color->resize(twips::toPixels(twipsWidth), s_color->height());
}

void DownloadPanel::showGame(const GameDetails &game)
{
    resetFill();
    lblSpeed->setText(tr("Connecting ..."));
    gamename->setText(game.title);
    gamedec->setText(turnBackCodes(game.description));
    loadpic->clear();
}

QSize DownloadPanel::pictureSize() const
{
    return loadpic->size() * loadpic->devicePixelRatioF();
}

void DownloadPanel::showPicture(const QImage &image)
{
    if (image.isNull())
        return;
    QPixmap pixmap = QPixmap::fromImage(image.scaled(pictureSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(loadpic->devicePixelRatioF());
    loadpic->setPixmap(pixmap);
}

void DownloadPanel::showFailure()
{
    lblSpeed->setText(tr("Download failed"));
}

void DownloadPanel::showCancelled()
{
    lblSpeed->setText(tr("Download cancelled"));
}

void DownloadPanel::resetFill()
{
    setFillTwips(30);
}

qint64 DownloadPanel::roundHalfEven(double value)
{
    return static_cast<qint64>(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}

QString DownloadPanel::progressText(qint64 written, qint64 announced)
{
    return tr("Download %1/%2K")
        .arg(roundHalfEven(static_cast<double>(written) / 1024.0))
        .arg(roundHalfEven(static_cast<double>(announced) / 1024.0));
}

void DownloadPanel::showProgress(qint64 written, std::optional<qint64> announced)
{
    if (!announced || *announced <= 0)
        return;
    const double width = static_cast<double>(written) / static_cast<double>(*announced) * trackWidthTwips() - 30;
    if (width >= 0)
        setFillTwips(width);
    lblSpeed->setText(progressText(written, *announced));
}
