// Start-up time and memory of the game box, against the floor of this stack: a minimal program that shows
// one Ruffle movie in one view. The same minimal program with the device font (the Chinese font Ruffle reads
// for device-font text) tells what that font costs. Each figure comes from fresh processes; the first run of
// each is a warm-up.
#include "base/library/library.h"
#include "gameboxbench.h"
#include "portalserver.h"
#include "testappfolder.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

namespace {

using bench::idleMs;
using bench::report;

constexpr int runs = 5;

// One process: the whole game box against the portal at argv[2], in the application folder argv[3].
int runFull(QApplication &app, const QString &server, const QString &folder)
{
    AppConfig config;
    config.appFolder = folder;
    config.serverUrl = QUrl(server);
    config.siteUrl = QUrl(server + QStringLiteral("site.htm"));
    config.ruffleFolder = QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("ruffle"));
    Library library(config.dataDir());
    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    Form1 window(std::make_unique<AppSession>(config, &library, &network, &messages, &opener));
    bool shown = false;
    bool painted = false;
    double startupMs = 0;
    auto done = [&] {
        if (!shown || !painted || startupMs > 0)
            return;
        startupMs = procstats::msSinceProcessStart();
        QTimer::singleShot(idleMs, &app, [&] {
            const qint64 pss = procstats::treePssKiB(QCoreApplication::applicationPid());
            report(QStringLiteral("full %1 %2").arg(startupMs).arg(pss));
            QCoreApplication::exit(0);
        });
    };
    QObject::connect(&window, &Form1::startupFinished, &app, [&] {
        shown = true;
        done();
    });
    auto *banner = window.findChild<FlashPlayer *>(QStringLiteral("gg_movie"));
    QObject::connect(banner, &FlashPlayer::movieStarted, &app, [&] {
        painted = true;
        done();
    });
    QObject::connect(&window, &Form1::ended, &app, [] { QCoreApplication::exit(2); });
    window.Form_Load();
    return app.exec();
}

// One process: one player, one movie; Ruffle's own device font only unless withFont.
int runMinimal(QApplication &app, const QString &movie, const QString &folder, bool withFont)
{
    PlayerProfile profile(folder, QDir(TestAppFolder::builtAppFolder()).filePath(QStringLiteral("ruffle")));
    if (!withFont)
        profile.setDeviceFont(std::nullopt);
    auto *player = new FlashPlayer(&profile);
    player->resize(993, 73);
    QObject::connect(player, &FlashPlayer::movieStarted, &app, [&] {
        const double ms = procstats::msSinceProcessStart();
        QTimer::singleShot(idleMs, &app, [&, ms] {
            const qint64 pss = procstats::treePssKiB(QCoreApplication::applicationPid());
            report(QStringLiteral("minimal %1 %2").arg(ms).arg(pss));
            QCoreApplication::exit(0);
        });
    });
    player->setMovie(movie);
    player->show();
    const int rc = app.exec();
    delete player;
    return rc;
}

QPair<double, double> runChild(const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(120000);
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    return {words.value(1).toDouble(), words.value(2).toDouble()};
}

} // namespace

int main(int argc, char *argv[])
{
    bench::prepareWebApplication();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--full"))
        return runFull(app, args.value(2), args.value(3));
    if (args.value(1) == QLatin1String("--minimal"))
        return runMinimal(app, args.value(2), args.value(3), args.value(4) == QLatin1String("font"));

    PortalServer server;
    if (!server.start()) {
        report(QStringLiteral("bench_startup: the portal server did not start"));
        return 1;
    }
    TestAppFolder folder(TestAppFolder::WithLibrary);
    QList<double> fullMs, minimalMs, fontMs, fullPss, minimalPss, fontPss;
    for (int i = 0; i <= runs; ++i) {
        const auto full = runChild({QStringLiteral("--full"), server.baseUrl().toString(), folder.path()});
        // The banner the game box fetched is the minimal program's movie too.
        QString banner;
        const QStringList pics = QDir(folder.filePath(QStringLiteral("pic"))).entryList({QStringLiteral("*.swf")});
        banner = pics.isEmpty() ? folder.filePath(QStringLiteral("nogame.swf"))
                                : folder.filePath(QStringLiteral("pic/") + pics.first());
        const auto minimal = runChild({QStringLiteral("--minimal"), banner, folder.path(), QStringLiteral("plain")});
        const auto font = runChild({QStringLiteral("--minimal"), banner, folder.path(), QStringLiteral("font")});
        if (i == 0)
            continue; // warm-up: caches, and the advertisements are fetched once
        fullMs << full.first;
        fullPss << full.second;
        minimalMs << minimal.first;
        minimalPss << minimal.second;
        fontMs << font.first;
        fontPss << font.second;
    }
    const double full = procstats::median(fullMs);
    const double minimal = procstats::median(minimalMs);
    QTextStream out(stdout);
    out << "start-up to the window shown with the banner painted (median of " << runs << " runs)\n";
    out << QStringLiteral("  game box:        %1 ms\n").arg(full, 0, 'f', 0);
    out << QStringLiteral("  minimal program: %1 ms (one Ruffle movie in one view)\n").arg(minimal, 0, 'f', 0);
    out << QStringLiteral("  ratio:           %1 (target at most 1.5)\n")
               .arg(minimal > 0 ? full / minimal : 0, 0, 'f', 2);
    out << QStringLiteral("idle PSS of the process tree after start-up (median)\n");
    out << QStringLiteral("  game box:        %1 MiB (target at most 600)\n")
               .arg(procstats::median(fullPss) / 1024, 0, 'f', 0);
    out << QStringLiteral("  minimal program: %1 MiB\n").arg(procstats::median(minimalPss) / 1024, 0, 'f', 0);
    const double fontStart = procstats::median(fontMs);
    const double fontMemory = procstats::median(fontPss);
    const double minimalMemory = procstats::median(minimalPss);
    out << QStringLiteral("the minimal program with the device font (median)\n");
    out << QStringLiteral("  start-up:        %1 ms, ratio %2 (target at most 1.10)\n")
               .arg(fontStart, 0, 'f', 0)
               .arg(minimal > 0 ? fontStart / minimal : 0, 0, 'f', 2);
    out << QStringLiteral("  idle PSS:        %1 MiB, ratio %2 (target at most 1.15)\n")
               .arg(fontMemory / 1024, 0, 'f', 0)
               .arg(minimalMemory > 0 ? fontMemory / minimalMemory : 0, 0, 'f', 2);
    return 0;
}
