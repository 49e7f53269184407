#include "base/appconfig.h"
#include "player/playerprofile.h"
#include "shell/form1.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QNetworkAccessManager>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    PlayerProfile::registerScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillabrix Game"));

    AppConfig config;
    config.appFolder = QCoreApplication::applicationDirPath();
    config.serverUrl = QUrl(QStringLiteral(QUILLABRIX_SERVER_URL));
    config.siteUrl = QUrl(QStringLiteral(QUILLABRIX_SITE_URL));

    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    Form1 window(config, &network, &messages, &opener);
    QObject::connect(
        &window, &Form1::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    window.Form_Load();
    return app.exec();
}
