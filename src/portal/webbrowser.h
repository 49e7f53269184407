#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

class QWebEngineProfile;

// A portal page: pages may not reach local files or the player's scheme, and never open windows.
class PortalPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit PortalPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // Schemes a portal page may never navigate to on its own.
    static bool isForbiddenForPages(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
};

// One of the two portal browsers (`left_web`, `main_web`).
class WebBrowser : public QWebEngineView
{
    Q_OBJECT

public:
    enum ReadyStateValue
    {
        Uninitialized = 0,
        Loading = 1,
        Complete = 4
    };

    explicit WebBrowser(QWebEngineProfile *profile, QWidget *parent = nullptr);

    void Navigate2(const QUrl &url) { navigateTo(url); }
    void Navigate(const QUrl &url) { navigateTo(url); }
    int ReadyState() const { return m_readyState; }

signals:
    // A page asked for a new window; it is never opened.
    void NewWindow(const QUrl &url);
    // The page that was navigated to has finished loading (successfully or not).
    void DocumentComplete();

private:
    void navigateTo(const QUrl &url);

    int m_readyState = Uninitialized;
};
