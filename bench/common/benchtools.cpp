#include "benchtools.h"

#include "procstats.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace bench {

void report(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

double waitFor(const QElapsedTimer &since, const std::function<bool()> &done, int everyMs, int limitMs)
{
    if (done())
        return since.nsecsElapsed() / 1e6;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(everyMs);
    double at = -1;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            at = since.nsecsElapsed() / 1e6;
        if (at >= 0 || since.elapsed() > limitMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return at;
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString formatMs(double value)
{
    return value < 0 ? QStringLiteral("timed out") : QStringLiteral("%1 ms").arg(value, 0, 'f', 0);
}

double medianMs(const QList<double> &values)
{
    QList<double> all;
    for (double v : values)
        all << (v < 0 ? timeoutMs : v);
    return procstats::median(all);
}

int argValue(const QStringList &args, const char *name, int fallback)
{
    const int at = args.indexOf(QLatin1String(name));
    return at > 0 ? args.value(at + 1).toInt() : fallback;
}

} // namespace bench
