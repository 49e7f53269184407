#pragma once

#include "pixelcolours.h"
#include "player/playerprofile.h"

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
