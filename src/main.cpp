#include "base/appconfig.h"
#include "base/appfolders.h"
#include "base/logging.h"
#include "base/shell/singleinstance.h"
#include "base/translations.h"
#include "player/playerprofile.h"
#include "shell/form1.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QNetworkAccessManager>

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

// Says why the program cannot go on: on stderr, and in a message box when there is a screen to show it on (a
// program started from the menu has no terminal to read). The text's first line is the program's own: what
// follows it (a folder's name) is shown as it is, never taken for markup.
int refuseToStart(MessageBox &messages, const QString &text)
{
    std::fprintf(stderr, "quillabrix: %s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        messages.show(MessageBox::Icon::Critical, text);
    return 1;
}

// A later start handed over: what the user sees of this program comes to the front. That is the main window, or
// the full-screen window that stands in for it, or a dialog over them; while start-up runs there is none yet,
// and the main window shows itself when start-up ends.
void bringForward(QWidget *mainWindow)
{
    QWidget *target = QApplication::activeModalWidget();
    if (!target && mainWindow->isVisible())
        target = mainWindow;
    if (!target) {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            if (window->isVisible() && window->windowType() == Qt::Window) {
                target = window;
                break;
            }
        }
    }
    if (!target) {
        qCInfo(lcShell) << "The window is not shown yet; it comes when start-up ends";
        return;
    }
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->raise();
    target->activateWindow();
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
            // Echoed without a password that it may carry.
            std::fprintf(
                stderr, "quillabrix: %s\n",
                qPrintable(text(QT_TRANSLATE_NOOP("CommandLine",
                                                  "--server needs an http:// or https:// URL with a host, not '%1'"))
                               .arg(loggableUrl(parser.value(serverOption)))));
            return 2;
        }
        config.serverUrl = *server;
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    PlayerProfile::registerScheme();
    QApplication app(argc, argv);
    translations.install();
    QGuiApplication::setDesktopFileName(QStringLiteral(QUILLABRIX_APP_ID));
    const AppFolders folders =
        appfolders::locate(QCoreApplication::applicationDirPath(),
                           appfolders::userDataHome(qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()),
                           QStringLiteral(QUILLABRIX_FILES_FROM_PROGRAM));
    MessageBox messages;
    const QString unusableFolder =
        text(QT_TRANSLATE_NOOP("CommandLine", "Quillabrix Game cannot use its data folder:")) + QLatin1Char('\n');
    if (const QString problem = appfolders::prepare(folders); !problem.isEmpty())
        return refuseToStart(messages, unusableFolder + problem);

    // One program per data folder: a second one would lose its game saves to the first.
    SingleInstance instance(folders.data);
    const QString ignored =
        parser.isSet(serverOption)
            ? QStringLiteral("it was given --server %1, which is ignored").arg(loggableUrl(config.serverUrl))
            : QString();
    switch (instance.claim(ignored)) {
    case SingleInstance::Claim::Owner:
        break;
    case SingleInstance::Claim::HandedOver:
        qCInfo(lcShell).noquote() << "The program already runs with the data folder" << folders.data
                                  << "and was asked to come to the front";
        if (parser.isSet(serverOption))
            std::fprintf(
                stderr, "quillabrix: %s\n",
                qPrintable(text(QT_TRANSLATE_NOOP("CommandLine", "Quillabrix Game is already running; --server %1 is "
                                                                 "ignored. Close the program to use another server."))
                               .arg(loggableUrl(config.serverUrl))));
        return 0;
    case SingleInstance::Claim::NoAnswer:
        qCWarning(lcShell).noquote() << "A running program owns the data folder, but" << instance.errorString();
        return refuseToStart(
            messages,
            text(QT_TRANSLATE_NOOP("CommandLine", "Quillabrix Game is already running, but it does not answer.")) +
                QLatin1Char('\n') +
                text(QT_TRANSLATE_NOOP("CommandLine", "Its data folder: %1"))
                    .arg(QDir::toNativeSeparators(folders.data)));
    case SingleInstance::Claim::NotWritable:
        return refuseToStart(messages, unusableFolder + instance.errorString());
    }
    config.appFolder = folders.files;
    config.dataFolder = folders.data;

    QNetworkAccessManager network;
    UrlOpener opener;
    Form1 window(config, &network, &messages, &opener);
    QObject::connect(
        &window, &Form1::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::anotherStartAsked, &window, [&window] { bringForward(&window); });
    window.Form_Load();
    return app.exec();
}
