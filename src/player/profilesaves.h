#pragma once

#include "base/player/savekeeper.h"
#include "base/player/savesarchive.h"

#include <QObject>

class PlayerProfile;

// The saves of the players' web profile as the library reaches them. Ruffle keeps each shared object in the local
// storage of the players' origin, under the movie's address followed by the object's name, as the base64 of its
// .sol file; that is what is counted, written to the user's file (as the .sol files themselves) and put back.
class ProfileSaves : public QObject, public SaveKeeper
{
    Q_OBJECT

public:
    explicit ProfileSaves(PlayerProfile *profile, QObject *parent = nullptr);

    void countSaves(const QString &movieFile, QObject *context, std::function<void(int count)> done) override;
    void exportSaves(const QVector<Game> &games, bool everyMovie, const QString &file, QObject *context,
                     std::function<void(const Result &)> done) override;
    void importSaves(const Game &game, const QString &file, QObject *context,
                     std::function<bool(int existing)> confirmReplace,
                     std::function<void(const Result &)> done) override;

    // Whether the saves in a file made for saved may go to game: the same game of the game server (by its id),
    // or, for the user's own games whose ids mean nothing in another library, the same movie file name.
    static bool sameGame(const savesarchive::GameSaves &saved, const Game &game);

private:
    // Puts back what the file holds for game (see importSaves), once it has been read.
    void putBack(const Game &game, const QString &file, const savesarchive::ReadResult &archive, QObject *context,
                 std::function<bool(int existing)> confirmReplace, std::function<void(const Result &)> done);
    // The shared objects of these movies (all movies when empty), by movie file name; nullopt when unreachable.
    void readObjects(const QStringList &movies, QObject *context,
                     std::function<void(std::optional<QVector<savesarchive::GameSaves>>)> done);

    PlayerProfile *m_profile;
};
