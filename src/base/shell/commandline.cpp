#include "base/shell/commandline.h"

#include "base/logging.h"
#include "base/translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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

CommandLine printAndExit(const QString &text, CommandLine::Stream stream, int exitCode)
{
    CommandLine result;
    result.action = CommandLine::Action::PrintAndExit;
    result.text = text;
    result.stream = stream;
    result.exitCode = exitCode;
    return result;
}

} // namespace

CommandLine commandline::parse(const QStringList &arguments, const Translations &translations,
                               const QUrl &defaultServer)
{
    const auto text = [&translations](const char *source) { return translations.text("CommandLine", source); };
    const auto refuse = [&text](const QString &why) {
        return printAndExit(QStringLiteral("quillabrix: %1\n%2\n")
                                .arg(why, text(QT_TRANSLATE_NOOP("CommandLine", "Try 'quillabrix --help'."))),
                            CommandLine::Stream::Err, 2);
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(
        text(QT_TRANSLATE_NOOP("CommandLine", "A game box that plays Flash games from a game portal.")));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        text(QT_TRANSLATE_NOOP("CommandLine", "The game server's base URL (http or https; default %1)."))
            .arg(defaultServer.toString()),
        QStringLiteral("URL"));
    parser.addOption(serverOption);
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        // The usage line names the program as Qt sees it: a placeholder while there is no application.
        const QString shownProgram = QCoreApplication::instance() ? QCoreApplication::arguments().constFirst()
                                                                  : QStringLiteral("<executable_name>");
        QString help = parser.helpText();
        if (const qsizetype at = help.indexOf(shownProgram); at >= 0)
            help.replace(at, shownProgram.size(), QStringLiteral("quillabrix"));
        return printAndExit(help, CommandLine::Stream::Out, 0);
    }
    if (parser.isSet(versionOption))
        return printAndExit(QStringLiteral("quillabrix %1\n").arg(QCoreApplication::applicationVersion()),
                            CommandLine::Stream::Out, 0);
    if (!parser.positionalArguments().isEmpty())
        return refuse(text(QT_TRANSLATE_NOOP("CommandLine", "unexpected argument '%1'"))
                          .arg(parser.positionalArguments().constFirst()));

    CommandLine result;
    result.server = defaultServer;
    if (parser.isSet(serverOption)) {
        const std::optional<QUrl> server = serverFromArgument(parser.value(serverOption));
        if (!server) {
            // Echoed without a password that it may carry.
            return printAndExit(
                QStringLiteral("quillabrix: %1\n")
                    .arg(text(QT_TRANSLATE_NOOP("CommandLine",
                                                "--server needs an http:// or https:// URL with a host, not '%1'"))
                             .arg(loggableUrl(parser.value(serverOption)))),
                CommandLine::Stream::Err, 2);
        }
        result.server = *server;
        result.serverGiven = true;
    }
    return result;
}
