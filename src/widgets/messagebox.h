#pragma once

#include <QObject>
#include <QString>

class QWidget;

#include <QStringList>

// Every message and dialog the user sees goes through here, so tests can answer them instead of blocking.
class MessageBox
{
public:
    enum class Icon
    {
        Critical,
        Warning
    };

    virtual ~MessageBox() = default;

    // Shows a modal box titled "Quillabrix Game" with one OK button and returns when it is closed.
    virtual void show(Icon icon, const QString &text, QWidget *parent = nullptr);
    // Asks a yes-or-no question, No being the default; true for Yes.
    virtual bool ask(const QString &text, QWidget *parent = nullptr);
    // The movie files, or the one folder of movies, the user chooses to add; empty when cancelled.
    virtual QStringList chooseMovies(QWidget *parent = nullptr);
    virtual QString chooseMovieFolder(QWidget *parent = nullptr);

    static QString title();
};

// Opens a URL in the desktop's default browser; tests replace it to see what would be opened.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl &url);
};
