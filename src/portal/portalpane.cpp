#include "portal/portalpane.h"

#include "portal/webbrowser.h"
#include "widgets/twips.h"

PortalPane::PortalPane(QWebEngineProfile *profile, QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("main_main"));
    setStyleSheet(QStringLiteral("#main_main { background: #E0E0E0; }"));
    main_web = new WebBrowser(profile, this);
    main_web->setObjectName(QStringLiteral("main_web"));
}

void PortalPane::placeAt(double left, double top, double width, double height)
{
    twips::place(this, left, top, width, height);
    twips::place(main_web, 30, 120, width - 40, height - 130);
}
