#pragma once

#include "pixelcolours.h"
#include "player/flashplayer.h"
#include "player/playerprofile.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

// Runs script in the player's page and waits for its value; an invalid value when none came within 10 s.
inline QVariant evaluate(FlashPlayer *player, const QString &script)
{
    QVariant result;
    bool done = false;
    player->view()->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        return {};
    return result;
}

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
