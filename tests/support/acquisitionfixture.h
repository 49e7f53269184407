#pragma once

#include "base/library/gamestore.h"
#include "base/library/library.h"
#include "base/portal/gameacquisition.h"
#include "base/portal/serverfetch.h"
#include "logcapture.h"
#include "portalserver.h"
#include "testappfolder.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QTest>

#include <memory>

// What a test of the game acquisition flow runs on, as the window has it: the real portal server (started once,
// in initTestCase), and for each test function a fresh application folder with an empty library and pic/, the
// network, the server fetch, the store, the library, the acquisition and a capture of the log. A test class
// derives from it beside QObject and calls setUpAcquisition() in init() and tearDownAcquisition() in cleanup().
class AcquisitionFixture
{
protected:
    // On false a check has failed and been reported; init() returns at once then.
    [[nodiscard]] bool setUpAcquisition()
    {
        makeAcquisition();
        return !QTest::currentTestFailed();
    }

    // In the reverse order of setting up: the log first, the folder last.
    void tearDownAcquisition()
    {
        m_log.reset();
        m_acquisition.reset();
        m_library.reset();
        m_store.reset();
        m_fetch.reset();
        m_network.reset();
        m_folder.reset();
    }

    QUrl link(const QString &query) const { return m_server.url(QStringLiteral("game.asp?") + query); }
    QString flashFolder() const { return m_folder->filePath(QStringLiteral("flash")); }
    QString picFolder() const { return m_folder->filePath(QStringLiteral("pic")); }

    PortalServer m_server;
    std::unique_ptr<TestAppFolder> m_folder;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<ServerFetch> m_fetch;
    std::unique_ptr<GameStore> m_store;
    std::unique_ptr<Library> m_library;
    std::unique_ptr<GameAcquisition> m_acquisition;
    std::unique_ptr<LogCapture> m_log;
    QList<AcquisitionResult> m_results; // what each flow ended with, in order

private:
    void makeAcquisition()
    {
        m_folder = std::make_unique<TestAppFolder>(TestAppFolder::WithLibrary);
        QVERIFY(m_folder->isValid());
        // The window makes pic/ at start; flash/ the acquisition makes itself.
        QVERIFY(QDir().mkpath(picFolder()));
        m_network = std::make_unique<QNetworkAccessManager>();
        m_fetch = std::make_unique<ServerFetch>(m_network.get());
        m_store = std::make_unique<GameStore>(m_folder->path());
        m_library = std::make_unique<Library>(m_store.get());
        m_acquisition = std::make_unique<GameAcquisition>(m_network.get(), m_fetch.get(), m_library.get());
        m_results.clear();
        QObject::connect(m_acquisition.get(), &GameAcquisition::finished, m_acquisition.get(),
                         [this](const AcquisitionResult &result) { m_results << result; });
        m_log = std::make_unique<LogCapture>();
    }
};
