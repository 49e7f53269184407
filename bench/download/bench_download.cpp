// Throughput of the program's movie download against curl on the same URL, and how long the event loop is
// held up meanwhile (a 2 ms timer records its own lateness).
#include "base/portal/moviedownload.h"
#include "portalserver.h"
#include "procstats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr qint64 movieBytes = 256LL * 1024 * 1024;
constexpr int runs = 3;

struct Figures
{
    double seconds = 0;
    double longestPauseMs = 0;
    bool ok = false;
};

Figures downloadWithProgram(QNetworkAccessManager *network, const QUrl &url, const QString &target)
{
    Figures f;
    MovieDownload job(network, url, target);
    QEventLoop loop;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        f.longestPauseMs = std::max(f.longestPauseMs, sinceTick.nsecsElapsed() / 1e6 - ticker.interval());
        sinceTick.restart();
    });
    QObject::connect(&job, &MovieDownload::finished, &loop, [&](const DownloadResult &r) {
        f.seconds = clock.nsecsElapsed() / 1e9;
        f.ok = r.status == DownloadResult::Status::Completed && QFile(target).size() == movieBytes;
        loop.quit();
    });
    clock.start();
    sinceTick.start();
    ticker.start();
    job.start();
    loop.exec();
    return f;
}

double downloadWithCurl(const QUrl &url, const QString &target)
{
    QElapsedTimer clock;
    clock.start();
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), target, url.toString()});
    curl.waitForFinished(600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return curl.exitCode() == 0 && QFile(target).size() == movieBytes ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    procstats::prepareEnvironment();
    QApplication app(argc, argv);
    PortalServer server;
    if (!server.start()) {
        QTextStream(stdout) << "bench_download: the portal server did not start\n";
        return 1;
    }
    const QUrl url = server.url(QStringLiteral("movies/size-%1.swf").arg(movieBytes));
    QTemporaryDir dir;
    QNetworkAccessManager network;
    QList<double> ours, curls, pauses;
    bool allOk = true;
    for (int i = 0; i < runs; ++i) {
        const QString mine = dir.filePath(QStringLiteral("ours.swf"));
        const QString theirs = dir.filePath(QStringLiteral("curl.swf"));
        const Figures f = downloadWithProgram(&network, url, mine);
        const double c = downloadWithCurl(url, theirs);
        QFile::remove(mine);
        QFile::remove(theirs);
        allOk = allOk && f.ok && c > 0;
        ours << f.seconds;
        curls << c;
        pauses << f.longestPauseMs;
    }
    const double mib = movieBytes / (1024.0 * 1024.0);
    const double oursRate = mib / procstats::median(ours);
    const double curlRate = mib / procstats::median(curls);
    QTextStream out(stdout);
    out << QStringLiteral("download of a %1 MiB movie from the portal server on 127.0.0.1 (median of %2 runs)\n")
               .arg(mib)
               .arg(runs);
    out << QStringLiteral("  game box: %1 MiB/s\n").arg(oursRate, 0, 'f', 0);
    out << QStringLiteral("  curl -o:  %1 MiB/s\n").arg(curlRate, 0, 'f', 0);
    out << QStringLiteral("  ratio:    %1 (target at least 0.9)\n").arg(oursRate / curlRate, 0, 'f', 2);
    out << QStringLiteral("  longest event-loop pause during the transfer: %1 ms (target at most 20; worst run)\n")
               .arg(*std::max_element(pauses.begin(), pauses.end()), 0, 'f', 1);
    if (!allOk)
        out << "  WARNING: a transfer did not complete with the whole movie\n";
    return allOk ? 0 : 1;
}
