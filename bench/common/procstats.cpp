#include "procstats.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <unistd.h>

namespace procstats {

double msSinceProcessStart()
{
    QFile statFile(QStringLiteral("/proc/self/stat"));
    QFile uptimeFile(QStringLiteral("/proc/uptime"));
    if (!statFile.open(QIODevice::ReadOnly) || !uptimeFile.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = statFile.readAll();
    // Fields after the command name, which may hold spaces, start behind the last ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble(); // field 22 of the whole line
    const double uptime = uptimeFile.readAll().split(' ').value(0).toDouble();
    return (uptime - startTicks / sysconf(_SC_CLK_TCK)) * 1000.0;
}

// The sum of the named fields of a process's memory summary, in KiB.
static qint64 rollupKiB(qint64 pid, std::initializer_list<const char *> fields)
{
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    // Files under /proc report no size, so they are read whole rather than line by line.
    const QList<QByteArray> lines = f.readAll().split('\n');
    qint64 total = 0;
    for (const QByteArray &line : lines) {
        for (const char *field : fields) {
            if (line.startsWith(field))
                total += line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return total;
}

qint64 pssKiB(qint64 pid)
{
    return rollupKiB(pid, {"Pss:"});
}

qint64 privateKiB(qint64 pid)
{
    return rollupKiB(pid, {"Private_Clean:", "Private_Dirty:"});
}

static qint64 treeKiB(qint64 pid, qint64 (*of)(qint64), const QByteArray &skipCommand = QByteArray())
{
    QMap<qint64, QList<qint64>> children;
    QSet<qint64> skipped;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 p = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile f(QStringLiteral("/proc/%1/stat").arg(p));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        children[fields.value(1).toLongLong()].append(p);
        const int open = stat.indexOf('(');
        if (!skipCommand.isEmpty() && stat.mid(open + 1, stat.lastIndexOf(')') - open - 1) == skipCommand)
            skipped.insert(p);
    }
    qint64 total = 0;
    QList<qint64> todo{pid};
    while (!todo.isEmpty()) {
        const qint64 p = todo.takeLast();
        if (skipped.contains(p))
            continue;
        total += of(p);
        todo += children.value(p);
    }
    return total;
}

qint64 treePssKiB(qint64 pid)
{
    return treeKiB(pid, pssKiB);
}

qint64 treePrivateKiB(qint64 pid, const QByteArray &skipCommand)
{
    return treeKiB(pid, privateKiB, skipCommand);
}

void prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace procstats
