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
    QTest::newRow("ten minutes shown") << "show@0 ticks@1000-600000" << qint64(600000);
    QTest::newRow("paused") << "show@0 ticks@1000-60000 pause@60500 ticks@61000-120000 resume@120000 "
                               "ticks@121000-180000"
                            << qint64(120500);
    QTest::newRow("hidden") << "show@0 ticks@1000-30000 hide@30000 ticks@31000-90000 show@90000 ticks@91000-120000"
                            << qint64(60000);
    QTest::newRow("minimised") << "show@0 ticks@1000-30000 minimise@30000 ticks@31000-90000 restore@90000 "
                                  "ticks@91000-120000"
                               << qint64(60000);
    QTest::newRow("asleep: a jump counts one step at most")
        << "show@0 ticks@1000-10000 tick@3610000 ticks@3611000-3620000" << qint64(10000 + PlayClock::maxStepMs + 10000);
    QTest::newRow("clock going back") << "show@0 ticks@1000-10000 tick@5000 tick@6000" << qint64(11000);
    QTest::newRow("never shown") << "ticks@1000-60000" << qint64(0);
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
        } else if (what == QLatin1String("show") || what == QLatin1String("hide")) {
            clock.setShown(what == QLatin1String("show"), at);
        } else if (what == QLatin1String("pause") || what == QLatin1String("resume")) {
            clock.setPaused(what == QLatin1String("pause"), at);
        } else {
            QVERIFY(what == QLatin1String("minimise") || what == QLatin1String("restore"));
            clock.setMinimised(what == QLatin1String("minimise"), at);
        }
    }
    QCOMPARE(clock.countedMs(), counted);
}

QTEST_APPLESS_MAIN(TestPlayClock)
#include "tst_playclock.moc"
