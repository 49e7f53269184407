#include "base/appconfig.h"
#include "base/appfolders.h"
#include "base/library/library.h"
#include "base/logging.h"
#include "base/portal/moviedownload.h"
#include "base/shell/commandline.h"
#include "base/shell/singleinstance.h"
#include "base/translations.h"
#include "player/playerprofile.h"
#include "shell/appsession.h"
#include "shell/form1.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QNetworkAccessManager>

#include <cstdio>

namespace {

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
    const CommandLine commandLine =
        commandline::parse(arguments, translations, QUrl(QStringLiteral(QUILLABRIX_SERVER_URL)));
    if (commandLine.action == CommandLine::Action::PrintAndExit) {
        std::fputs(qPrintable(commandLine.text), commandLine.stream == CommandLine::Stream::Out ? stdout : stderr);
        return commandLine.exitCode;
    }

    AppConfig config;
    config.serverUrl = commandLine.server;
    config.siteUrl = QUrl(QStringLiteral(QUILLABRIX_SITE_URL));

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
        commandLine.serverGiven
            ? QStringLiteral("it was given --server %1, which is ignored").arg(loggableUrl(config.serverUrl))
            : QString();
    switch (instance.claim(ignored)) {
    case SingleInstance::Claim::Owner:
        break;
    case SingleInstance::Claim::HandedOver:
        qCInfo(lcShell).noquote() << "The program already runs with the data folder" << folders.data
                                  << "and was asked to come to the front";
        if (commandLine.serverGiven)
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
                QLatin1Char('\n') + instance.lockAdvice());
    case SingleInstance::Claim::NotWritable:
        return refuseToStart(messages, unusableFolder + instance.errorString());
    }
    Library library(folders.data);
    // Downloads given up long ago leave their partial data behind; those of games still queued go on from it.
    MovieDownload::dropStalePartials(library.folders().movieFolder());
    config.appFolder = folders.files;
    config.dataFolder = folders.data;

    QNetworkAccessManager network;
    UrlOpener opener;
    Form1 window(std::make_unique<AppSession>(config, &library, &network, &messages, &opener));
    QObject::connect(
        &window, &Form1::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::anotherStartAsked, &window, [&window] { bringForward(&window); });
    window.Form_Load();
    return app.exec();
}
