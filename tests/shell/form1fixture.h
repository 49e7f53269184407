#pragma once

#include "flashplayer.h"
#include "form1.h"
#include "playerprofile.h"
#include "portalserver.h"
#include "recordingmessagebox.h"
#include "testappfolder.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Main-window tests need the player's scheme registered before the application exists, and must not end
// the test run when the window under test closes.
#define QUILLABRIX_WINDOW_TEST_MAIN(TestObject)                                                                        \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        PlayerProfile::registerScheme();                                                                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        QApplication::setQuitOnLastWindowClosed(false);                                                                \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

// A main window in a fresh application folder, talking to the real portal server on loopback, with its
// messages and opened URLs recorded instead of shown.
struct WindowUnderTest
{
    explicit WindowUnderTest(const QUrl &serverUrl, int folderOptions = TestAppFolder::WithLibrary)
        : folder(folderOptions)
    {
        const QUrl site(QStringLiteral("http://127.0.0.1:1/site.htm"));
        window = std::make_unique<Form1>(folder.config(serverUrl, site), &network, &messages, &opener);
    }

    // Runs the start-up sequence; true once the window is shown, false if the program ended instead.
    bool start(int timeoutMs = 60000)
    {
        QSignalSpy shown(window.get(), &Form1::startupFinished);
        QSignalSpy ended(window.get(), &Form1::ended);
        window->Form_Load();
        if (!QTest::qWaitFor([&] { return shown.count() + ended.count() > 0; }, timeoutMs))
            return false;
        return shown.count() > 0;
    }

    TestAppFolder folder;
    QNetworkAccessManager network;
    RecordingMessageBox messages;
    RecordingUrlOpener opener;
    std::unique_ptr<Form1> window;
};
