#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What the benchmarks that drive the game box's window share: waiting on its event loop, reading their
// command line and printing figures.
namespace bench {

// How long a wait goes on before it counts as timed out.
constexpr int timeoutMs = 30000;

// How long the game box is left idle after its start-up before it is measured, in every benchmark that starts it:
// the figures of one compare with another's.
constexpr int idleMs = 4000;

// Prints one line at once, so that a benchmark that hangs has shown how far it came.
void report(const QString &line);

// Runs the event loop, asking done() first and then every everyMs, until it holds; milliseconds since `since`,
// or -1 once `since` is older than limitMs.
double waitFor(const QElapsedTimer &since, const std::function<bool()> &done, int everyMs, int limitMs = timeoutMs);

// Runs the event loop for ms milliseconds.
void idle(int ms);

// "123 ms", or "timed out" for a wait that gave up.
QString formatMs(double value);

// The median of waits in milliseconds, a wait that timed out counting as timeoutMs.
double medianMs(const QList<double> &values);

// The number after the argument `name` ("--runs 5"), or fallback when it is not given.
int argValue(const QStringList &args, const char *name, int fallback);

} // namespace bench
