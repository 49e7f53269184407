#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class Translations;

// What the command line asks of the program: to run, or only to print something and end (help, version, or why
// the arguments are refused), with the server it was told to use.
struct CommandLine
{
    enum class Action
    {
        Run,
        PrintAndExit
    };
    enum class Stream
    {
        Out,
        Err
    };

    Action action = Action::Run;
    // PrintAndExit: what to print (complete lines), where, and the exit code.
    QString text;
    Stream stream = Stream::Out;
    int exitCode = 0;

    // Run: the game server's base URL, ending in "/"; the default one unless --server was given.
    QUrl server;
    bool serverGiven = false;
};

namespace commandline {

// Reads the program's arguments (arguments[0] is the program). Needs no application object, so that --help and
// --version work without a display; the texts are in translations' language, the version is the application's.
CommandLine parse(const QStringList &arguments, const Translations &translations, const QUrl &defaultServer);

} // namespace commandline
