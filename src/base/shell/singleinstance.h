#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running program per data folder: a second one would lose its game saves to the first, which holds their
// storage. The first start owns the folder through a lock file in it and listens on a local socket named after
// the folder; a later start hands over to it through that socket (the owner brings its window forward) and ends.
// A lock left by a program that died is taken over, and so is one no program holds and answers for once the
// hand-over has waited in vain, whatever it holds or which machine it names.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Claim
    {
        Owner,       // this program owns the data folder
        HandedOver,  // a running program owns it and took the hand-over: this one ends
        NoAnswer,    // a running program owns it but did not take the hand-over (hung, or its socket is unreachable)
        NotWritable, // no lock can be made in the data folder (or a folder stands in its place)
    };

    // How long a later start waits for the owner to take the hand-over.
    static constexpr int handOverWaitMs = 5000;
    // A hand-over that says more than this, or is not said within handOverWaitMs, is not listened to.
    static constexpr int maxRequestBytes = 4096;

    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override; // gives the folder up

    // Takes the data folder, or hands over to its owner. note goes with the hand-over, for the owner's log
    // (an option this start ignores, say). Blocks for at most about handOverWait(); meant for before any window.
    Claim claim(const QString &note = QString());
    // Why the claim did not give Owner, for the log (for NotWritable, also for the user).
    QString errorString() const { return m_error; }
    // For the user when the claim gave NoAnswer: the file to remove when no program is running after all.
    QString lockAdvice() const;
    bool isOwner() const;

    void setHandOverWait(int ms) { m_handOverWaitMs = ms; }
    int handOverWait() const { return m_handOverWaitMs; }

    QString lockFilePath() const;
    // The local socket of the owner of dataFolder: in the user's runtime folder, named after a hash of the
    // folder's canonical path (a path may be longer than a socket name may be).
    static QString serverName(const QString &dataFolder);

signals:
    // A later start handed over to this one; note as it sent it.
    void anotherStartAsked(const QString &note);

private:
    Claim handOver(const QString &note);
    bool clearLockPlace();
    bool removeLeftoverLock();
    void listen();
    void serve(QLocalSocket *socket);

    QString m_dataFolder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QString m_error;
    int m_handOverWaitMs = handOverWaitMs;
};
