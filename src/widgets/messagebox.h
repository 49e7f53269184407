#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QMessageBox;
class QWidget;

// Every message and dialog the user sees goes through here, so tests can answer them instead of blocking.
class MessageBox
{
public:
    enum class Icon
    {
        Critical,
        Warning,
        Information // what was done, when the user asked for it
    };

    virtual ~MessageBox() = default;

    // Shows a modal box titled "Quillabrix Game" with one OK button and returns when it is closed.
    virtual void show(Icon icon, const QString &text, QWidget *parent = nullptr);
    // Asks a yes-or-no question, No being the default; true for Yes.
    virtual bool ask(const QString &text, QWidget *parent = nullptr);
    // The movie files, or the one folder of movies, the user chooses to add; empty when cancelled.
    virtual QStringList chooseMovies(QWidget *parent = nullptr);
    virtual QString chooseMovieFolder(QWidget *parent = nullptr);

    // The boxes show() and ask() open, made apart so that what they would show can be looked at. Their text
    // is plain: a message may quote a title from the server or a file name, which must never act as markup.
    static std::unique_ptr<QMessageBox> messageBox(Icon icon, const QString &text, QWidget *parent = nullptr);
    static std::unique_ptr<QMessageBox> questionBox(const QString &text, QWidget *parent = nullptr);

    static QString title();
};

// Opens a URL in the desktop's default browser; tests replace it to see what would be opened.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl &url);
};
