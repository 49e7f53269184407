#include "base/player/playclock.h"

#include <QStringList>
#include <QTest>

// The play clock's core: what counts as time a game ran in front of the user.
class TestPlayClock : public QObject
{
    Q_OBJECT

private slots:
    void countsOnlyTimeInFront_data();
    void countsOnlyTimeInFront();
};

void TestPlayClock::countsOnlyTimeInFront_data()
{
    // What happens, as "what@milliseconds" on the monotonic clock from 0; "ticks@A-B" reads it every second, as
    // its owner does.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("counted");
    QTest::newRow("ten minutes running") << "run@0 ticks@1000-600000" << qint64(600000);
    // Paused, hidden or minimised: the player says its game stopped running in front.
    QTest::newRow("stopped a while") << "run@0 ticks@1000-60000 stop@60500 ticks@61000-120000 run@120000 "
                                        "ticks@121000-180000"
                                     << qint64(120500);
    QTest::newRow("asleep: a jump counts one step at most")
        << "run@0 ticks@1000-10000 tick@3610000 ticks@3611000-3620000" << qint64(10000 + PlayClock::maxStepMs + 10000);
    QTest::newRow("clock going back") << "run@0 ticks@1000-10000 tick@5000 tick@6000" << qint64(11000);
    QTest::newRow("never running") << "ticks@1000-60000" << qint64(0);
}

void TestPlayClock::countsOnlyTimeInFront()
{
    QFETCH(QString, steps);
    QFETCH(qint64, counted);
    PlayClock clock;
    clock.start(0);
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const QString what = step.section(QLatin1Char('@'), 0, 0);
        const QString when = step.section(QLatin1Char('@'), 1);
        const qint64 at = when.section(QLatin1Char('-'), 0, 0).toLongLong();
        if (what == QLatin1String("ticks")) {
            for (qint64 t = at; t <= when.section(QLatin1Char('-'), 1).toLongLong(); t += 1000)
                clock.tick(t);
        } else if (what == QLatin1String("tick")) {
            clock.tick(at);
        } else {
            QVERIFY(what == QLatin1String("run") || what == QLatin1String("stop"));
            clock.setRunning(what == QLatin1String("run"), at);
        }
    }
    QCOMPARE(clock.countedMs(), counted);
}

QTEST_APPLESS_MAIN(TestPlayClock)
#include "tst_playclock.moc"
