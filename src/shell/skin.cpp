#include "shell/skin.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

void Skin::selectTheme(short theme)
{
    m_theme = theme;
}

void Skin::setColourScheme(int scheme)
{
    m_scheme = scheme;
}

void Skin::apply()
{
    if (m_theme == 0)
        return;
    // A calm grey look that suits the window's grey panels whatever the desktop's theme is.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal = QApplication::style()->standardPalette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(QPalette::Button, QColor(0xD8, 0xD8, 0xD8));
    pal.setColor(QPalette::Highlight, QColor(0xFF, 0x80, 0x00));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    pal.setColor(QPalette::ToolTipText, Qt::black);
    QApplication::setPalette(pal);
}

void Skin::release() {}
