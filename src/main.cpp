#include "base/appconfig.h"
#include "base/appfolders.h"
#include "base/translations.h"
#include "player/playerprofile.h"
#include "shell/form1.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QNetworkAccessManager>
#include <QStandardPaths>

#include <cstdio>
#include <optional>

namespace {

// The game server's base URL as given on the command line; nothing unless it is an absolute http or https URL.
std::optional<QUrl> serverFromArgument(const QString &text)
{
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    // Requests are resolved against the base URL: without its final "/" the last segment would be dropped.
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    return url;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillabrix Game"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLABRIX_VERSION));

    // The user's language, for the command line's texts too.
    Translations translations;
    const auto text = [&translations](const char *source) { return translations.text("CommandLine", source); };

    // Read before the application exists, so that --help and --version work without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        text(QT_TRANSLATE_NOOP("CommandLine", "A game box that plays Flash games from a game portal.")));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        text(QT_TRANSLATE_NOOP("CommandLine", "The game server's base URL (http or https; default %1)."))
            .arg(QStringLiteral(QUILLABRIX_SERVER_URL)),
        QStringLiteral("URL"));
    parser.addOption(serverOption);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "quillabrix: %s\n%s\n", qPrintable(parser.errorText()),
                     qPrintable(text(QT_TRANSLATE_NOOP("CommandLine", "Try 'quillabrix --help'."))));
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QStringLiteral("quillabrix"));
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("quillabrix %s\n", QUILLABRIX_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quillabrix: %s\n%s\n",
                     qPrintable(text(QT_TRANSLATE_NOOP("CommandLine", "unexpected argument '%1'"))
                                    .arg(parser.positionalArguments().constFirst())),
                     qPrintable(text(QT_TRANSLATE_NOOP("CommandLine", "Try 'quillabrix --help'."))));
        return 2;
    }

    AppConfig config;
    config.serverUrl = QUrl(QStringLiteral(QUILLABRIX_SERVER_URL));
    config.siteUrl = QUrl(QStringLiteral(QUILLABRIX_SITE_URL));
    if (parser.isSet(serverOption)) {
        const std::optional<QUrl> server = serverFromArgument(parser.value(serverOption));
        if (!server) {
            std::fprintf(
                stderr, "quillabrix: %s\n",
                qPrintable(text(QT_TRANSLATE_NOOP("CommandLine",
                                                  "--server needs an http:// or https:// URL with a host, not '%1'"))
                               .arg(parser.value(serverOption))));
            return 2;
        }
        config.serverUrl = *server;
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    PlayerProfile::registerScheme();
    QApplication app(argc, argv);
    translations.install();
    QGuiApplication::setDesktopFileName(QStringLiteral(QUILLABRIX_APP_ID));
    const AppFolders folders = appfolders::locate(QCoreApplication::applicationDirPath(),
                                                  QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                                                  QStringLiteral(QUILLABRIX_FILES_FROM_PROGRAM));
    if (const QString problem = appfolders::prepare(folders); !problem.isEmpty()) {
        std::fprintf(stderr, "quillabrix: %s\n", qPrintable(problem));
        return 1;
    }
    config.appFolder = folders.files;
    config.dataFolder = folders.data;

    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    Form1 window(config, &network, &messages, &opener);
    QObject::connect(
        &window, &Form1::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    window.Form_Load();
    return app.exec();
}
