#pragma once

#include <QColor>
#include <QImage>
#include <QTest>
#include <QWidget>

// What a widget shows at a point (its centre by default), read back the way a user's screenshot would see it.
inline QColor shownColour(QWidget *widget, QPoint at = QPoint(-1, -1))
{
    const QImage image = widget->grab().toImage();
    if (at.x() < 0)
        at = QPoint(image.width() / 2, image.height() / 2);
    return image.pixelColor(at);
}

// Colours read back from the web view's compositor may be off by a step or two.
inline bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 && qAbs(a.blue() - b.blue()) <= 8;
}

// Whether `watched` keeps showing one colour while `clock` (a widget that plays on) changes colour `changes`
// times: a paused movie holds its frame for as long as a playing one moves on.
inline bool holdsWhileClockMoves(QWidget *watched, QWidget *clock, int changes, int timeoutMs)
{
    QColor seen = shownColour(clock);
    if (!QTest::qWaitFor([&] { return shownColour(clock) != seen; }, timeoutMs))
        return false;
    seen = shownColour(clock);
    const QColor held = shownColour(watched);
    int changed = 0;
    bool holds = true;
    (void)QTest::qWaitFor(
        [&] {
            holds = holds && shownColour(watched) == held;
            const QColor now = shownColour(clock);
            if (now != seen) {
                seen = now;
                ++changed;
            }
            return changed >= changes || !holds;
        },
        timeoutMs);
    return holds && changed >= changes;
}
