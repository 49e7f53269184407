// The saves file reader on any bytes: a file is refused whole or gives games whose names all stay in their
// places, never more objects or bytes than an export may hold, however often the manifest names one entry; and
// what it gives is written and read back unchanged.
//
// Input: the saves file's bytes; or, after "J:", a manifest packed into a zip (checksums right) beside a small
// entry "a.sol" and a large one "big.sol", so that the manifest's own checks are reached.

#include "base/player/savesarchive.h"
#include "fuzzsupport.h"

using namespace savesarchive;

namespace {

QString described(const ReadResult &result)
{
    QString out = QStringLiteral("problem %1 games %2").arg(int(result.problem)).arg(result.games.size());
    for (const GameSaves &game : result.games.mid(0, 4))
        out += QStringLiteral(" [%1 %2 %3]").arg(fuzz::shown(game.movieFile)).arg(game.gameId).arg(game.objects.size());
    return out;
}

bool same(const QVector<GameSaves> &a, const QVector<GameSaves> &b)
{
    if (a.size() != b.size())
        return false;
    for (int g = 0; g < a.size(); ++g) {
        if (a[g].movieFile != b[g].movieFile || a[g].gameId != b[g].gameId || a[g].title != b[g].title ||
            a[g].objects.size() != b[g].objects.size())
            return false;
        for (int o = 0; o < a[g].objects.size(); ++o) {
            if (a[g].objects[o].key != b[g].objects[o].key || a[g].objects[o].data != b[g].objects[o].data)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray file = fuzz::bytes(data, size);
    if (file.startsWith("J:")) {
        static const QByteArray big(256 * 1024, 'b');
        file = zip({{QString::fromLatin1(manifestName), file.mid(2)},
                    {QStringLiteral("a.sol"), QByteArray("TCSO")},
                    {QStringLiteral("big.sol"), big}});
    }
    const ReadResult result = read(file);
    FUZZ_CHECK(result.problem != Problem::CannotRead, described(result));
    if (result.problem != Problem::None) {
        FUZZ_CHECK(result.games.isEmpty(), described(result));
        return 0;
    }
    FUZZ_CHECK(result.games.size() <= maxObjects, described(result));
    qint64 objects = 0;
    qint64 bytes = 0;
    for (const GameSaves &game : result.games) {
        FUZZ_CHECK(isPlainFileName(game.movieFile), described(result));
        for (const SharedObject &object : game.objects) {
            FUZZ_CHECK(isSafeKey(object.key), fuzz::shown(object.key));
            ++objects;
            bytes += object.data.size();
        }
    }
    FUZZ_CHECK(objects <= maxObjects && bytes <= maxFileSize,
               described(result) + QStringLiteral(" objects %1 bytes %2").arg(objects).arg(bytes));

    // What was accepted is what an export of it holds (the writer stores what a deflated file packed).
    const QByteArray written = write(result.games);
    if (written.size() > maxManifestSize)
        return 0;
    const ReadResult back = read(written);
    FUZZ_CHECK(back.problem == Problem::None && same(back.games, result.games),
               described(result) + QStringLiteral(" read back: ") + described(back));
    return 0;
}
