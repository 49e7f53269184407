#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Figures about processes that the benchmarks print: how long this one has run, and how much memory a
// process and everything it started take.
namespace procstats {

// Milliseconds since this process was started by the kernel.
double msSinceProcessStart();

// Proportional set size of pid and all its descendants, in KiB. Pages shared with processes outside the tree
// count in part, so the figure moves when other programs using the same libraries start or stop.
qint64 treePssKiB(qint64 pid);
// Memory that pid and its descendants hold for themselves alone (private pages), in KiB: what a leak grows,
// whatever else runs on the machine.
// A process whose command name (as the kernel keeps it, at most 15 bytes) is skipCommand is left out with
// everything it started: a server the caller runs beside the program, say.
qint64 treePrivateKiB(qint64 pid, const QByteArray &skipCommand = QByteArray());
qint64 pssKiB(qint64 pid);
qint64 privateKiB(qint64 pid);

// Sets what the web engine needs to run here when the caller did not: offscreen without a display,
// no sandbox as root, no GPU.
void prepareEnvironment();

// Median of a list of figures (the list is copied and sorted).
double median(QList<double> values);

} // namespace procstats
