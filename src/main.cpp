#include "appconfig.h"
#include "form1.h"
#include "messagebox.h"

#include <QApplication>
#include <QNetworkAccessManager>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    AppConfig config;
    config.appFolder = QCoreApplication::applicationDirPath();
    config.serverUrl = QUrl(QStringLiteral(QUILLABRIX_SERVER_URL));
    config.siteUrl = QUrl(QStringLiteral(QUILLABRIX_SITE_URL));

    QNetworkAccessManager network;
    MessageBox messages;
    UrlOpener opener;
    Form1 window(config, &network, &messages, &opener);
    return app.exec();
}
