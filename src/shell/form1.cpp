#include "form1.h"

Form1::Form1(const AppConfig &config, QNetworkAccessManager *network, MessageBox *messages, UrlOpener *opener,
             QWidget *parent)
    : QMainWindow(parent), m_config(config), m_network(network), m_messages(messages), m_opener(opener)
{
}

Form1::~Form1() = default;
