#pragma once

#include <QFrame>

class QWebEngineProfile;
class WebBrowser;

// The portal's pane `main_main`: the game server's main pages in their browser, framed by the pane's margin.
class PortalPane : public QFrame
{
    Q_OBJECT

public:
    PortalPane(QWebEngineProfile *profile, QWidget *parent = nullptr);

    // Takes its place in the window, in twips, and fits the browser inside it.
    void placeAt(double left, double top, double width, double height);

    WebBrowser *main_web;
};
