#pragma once

#include "appconfig.h"

#include <QMainWindow>

class MessageBox;
class UrlOpener;
class QNetworkAccessManager;

// The main window: portal, library, player and download panels.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    Form1(const AppConfig &config, QNetworkAccessManager *network, MessageBox *messages, UrlOpener *opener,
          QWidget *parent = nullptr);
    ~Form1() override;

private:
    AppConfig m_config;
    QNetworkAccessManager *m_network;
    MessageBox *m_messages;
    UrlOpener *m_opener;
};
