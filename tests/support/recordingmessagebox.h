#pragma once

#include "widgets/messagebox.h"

#include <QList>
#include <QPair>
#include <QUrl>

// Records the messages the program would show instead of blocking on a modal box.
class RecordingMessageBox : public MessageBox
{
public:
    void show(Icon icon, const QString &text, QWidget * = nullptr) override { shown.append({icon, text}); }
    bool ask(const QString &text, QWidget * = nullptr) override
    {
        asked.append(text);
        return answer;
    }
    QStringList chooseMovies(QWidget * = nullptr) override { return movies; }
    QString chooseMovieFolder(QWidget * = nullptr) override { return folder; }
    QStringList texts() const
    {
        QStringList out;
        for (const auto &m : shown)
            out << m.second;
        return out;
    }
    QList<QPair<Icon, QString>> shown;
    QStringList asked;
    bool answer = true;       // what every question is answered
    QStringList movies;       // what the file chooser returns
    QString folder;           // what the folder chooser returns
};

// Records the URLs the program would hand to the desktop's browser.
class RecordingUrlOpener : public UrlOpener
{
public:
    bool open(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};
