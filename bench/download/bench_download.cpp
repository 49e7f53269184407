// Throughput of the program's movie download against curl on the same URL, and how long the event loop is
// held up meanwhile (a 2 ms timer records its own lateness). Resume: the same movie's connection dropped at
// 192 MiB, then the next run goes on from there; the bytes both runs fetched against the movie's size, and the
// resuming run's time against a whole download's.
#include "base/portal/moviedownload.h"
#include "pauseprobe.h"
#include "portalserver.h"
#include "procstats.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr qint64 movieBytes = 256LL * 1024 * 1024;
constexpr qint64 resumeCutBytes = 192LL * 1024 * 1024;
constexpr int runs = 3;

struct Figures
{
    double seconds = 0;
    double longestPauseMs = 0;
    bool ok = false;
    DownloadResult result;
};

// With a resume key, what the run leaves stays for the next one with the same key.
Figures downloadWithProgram(QNetworkAccessManager *network, const QUrl &url, const QString &target,
                            const QString &resumeKey = QString())
{
    Figures f;
    MovieDownload job(network, url, target);
    job.setResumeKey(resumeKey);
    const TimedRun run = runTimed(job, &MovieDownload::finished, &f.result);
    f.seconds = run.seconds;
    f.longestPauseMs = run.longestPauseMs;
    f.ok = f.result.status == DownloadResult::Status::Completed && QFile(target).size() == movieBytes;
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

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// The movie's connection drops at resumeCutBytes; the next run asks for the rest on the same URL.
bool benchResume(PortalServer &server, QNetworkAccessManager *network, const QTemporaryDir &dir, QTextStream &out)
{
    const QUrl url = server.url(QStringLiteral("fault/cut-%1/movies/size-%2.swf").arg(resumeCutBytes).arg(movieBytes));
    const QString target = dir.filePath(QStringLiteral("resumed.swf"));
    const QString fresh = dir.filePath(QStringLiteral("fresh.swf"));
    const Figures whole = downloadWithProgram(network, server.url(QStringLiteral("movies/size-%1.swf").arg(movieBytes)),
                                              fresh, QStringLiteral("fresh"));
    const Figures stopped = downloadWithProgram(network, url, target, QStringLiteral("resume"));
    const Figures resumed = downloadWithProgram(network, url, target, QStringLiteral("resume"));
    const qint64 fetched = stopped.result.bytesFetched + resumed.result.bytesFetched;
    const bool ok = whole.ok && stopped.result.status == DownloadResult::Status::Failed && resumed.ok &&
                    resumed.result.resumedFrom == resumeCutBytes && sha256Of(target) == sha256Of(fresh);
    const double mib = 1024.0 * 1024.0;
    out << QStringLiteral("resume of a %1 MiB movie whose connection dropped at %2 MiB\n")
               .arg(movieBytes / mib)
               .arg(resumeCutBytes / mib);
    out << QStringLiteral(
               "  fetched by both runs: %1 bytes for a %2-byte movie, %3 MiB over its size (target at most 1)\n")
               .arg(fetched)
               .arg(movieBytes)
               .arg((fetched - movieBytes) / mib, 0, 'f', 3);
    out << QStringLiteral("  the resuming run: %1 s; a whole download: %2 s (%3x); both runs: %4 s\n")
               .arg(resumed.seconds, 0, 'f', 2)
               .arg(whole.seconds, 0, 'f', 2)
               .arg(resumed.seconds / whole.seconds, 0, 'f', 2)
               .arg(stopped.seconds + resumed.seconds, 0, 'f', 2);
    if (!ok)
        out << "  WARNING: the resumed movie is not the whole movie, or the run did not resume\n";
    QFile::remove(target);
    QFile::remove(fresh);
    return ok;
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
    allOk = benchResume(server, &network, dir, out) && allOk;
    return allOk ? 0 : 1;
}
