#pragma once

#include "playerprofile.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QTest>
#include <QWidget>

// Player tests need the player's URL scheme registered before the application exists.
#define QUILLABRIX_PLAYER_TEST_MAIN(TestObject)                                                                        \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        PlayerProfile::registerScheme();                                                                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

// What the widget shows at a point, read back the way a user's screenshot would see it.
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
