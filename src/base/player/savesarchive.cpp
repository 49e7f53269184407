#include "base/player/savesarchive.h"

#include <QDateTime>
#include <QFile>
#include <QFuture>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPromise>
#include <QRegularExpression>
#include <QSet>
#include <QThreadPool>
#include <QtEndian>

#include <memory>

#include <zlib.h>

namespace savesarchive {

namespace {

constexpr quint32 kLocalHeader = 0x04034b50;
constexpr quint32 kCentralHeader = 0x02014b50;
constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr int kLocalHeaderSize = 30;
constexpr int kCentralHeaderSize = 46;
constexpr int kEndSize = 22;
constexpr quint16 kUtf8Names = 0x0800;
constexpr quint16 kEncrypted = 0x0001;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;
constexpr quint16 kVersion = 20; // 2.0: what stored and deflated entries need

quint32 checksum(const QByteArray &data)
{
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

quint16 get16(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

quint32 get32(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// "C:x": a name that some systems' unzip tools place on another drive.
bool startsWithDrive(const QString &name)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    return drive.match(name).hasMatch();
}

// A name inside the zip: a relative path of plain steps, as every unzip tool would place it under its target.
bool isSafeEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        hasControlCharacter(name) || startsWithDrive(name))
        return false;
    const QStringList steps = name.split(QLatin1Char('/'));
    for (const QString &step : steps) {
        if (step.isEmpty() || step == QLatin1String(".") || step == QLatin1String(".."))
            return false;
    }
    return true;
}

// The .sol file's name for a key: its non-empty steps under the movie's folder, as Flash lays out the paths of
// shared objects; made unique among those taken.
QString entryNameFor(const QString &movieFile, const QString &key, QSet<QString> &taken)
{
    QStringList steps = key.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString &step : steps) {
        if (step == QLatin1String(".") || step == QLatin1String(".."))
            step = QStringLiteral("_");
    }
    // A movie may be called "C:x.swf" on this system; its folder in the zip may not.
    QString folder = movieFile;
    if (startsWithDrive(folder))
        folder[1] = QLatin1Char('_');
    const QString base = folder + QLatin1Char('/') + steps.join(QLatin1Char('/'));
    QString name = base + QStringLiteral(".sol");
    for (int n = 2; taken.contains(name); ++n)
        name = base + QStringLiteral(" (%1).sol").arg(n);
    taken.insert(name);
    return name;
}

using Entry = ZipEntry;

// DOS date and time, as zip headers keep them.
QPair<quint16, quint16> dosTime(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    const quint16 time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    const quint16 date = quint16(((qMax(d.year(), 1980) - 1980) << 9) | (d.month() << 5) | d.day());
    return {time, date};
}

} // namespace

QByteArray zip(const QVector<ZipEntry> &entries)
{
    const auto [time, date] = dosTime(QDateTime::currentDateTime());
    QByteArray out;
    QByteArray directory;
    for (const Entry &entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        const quint32 crc = checksum(entry.data);
        const quint32 offset = quint32(out.size());
        put32(out, kLocalHeader);
        put16(out, kVersion);
        put16(out, kUtf8Names);
        put16(out, kStored);
        put16(out, time);
        put16(out, date);
        put32(out, crc);
        put32(out, quint32(entry.data.size()));
        put32(out, quint32(entry.data.size()));
        put16(out, quint16(name.size()));
        put16(out, 0);
        out.append(name);
        out.append(entry.data);

        put32(directory, kCentralHeader);
        put16(directory, kVersion);
        put16(directory, kVersion);
        put16(directory, kUtf8Names);
        put16(directory, kStored);
        put16(directory, time);
        put16(directory, date);
        put32(directory, crc);
        put32(directory, quint32(entry.data.size()));
        put32(directory, quint32(entry.data.size()));
        put16(directory, quint16(name.size()));
        put16(directory, 0); // extra
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory.append(name);
    }
    const quint32 directoryOffset = quint32(out.size());
    out.append(directory);
    put32(out, kEndOfDirectory);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(entries.size()));
    put16(out, quint16(entries.size()));
    put32(out, quint32(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

namespace {

std::optional<QByteArray> inflateRaw(const QByteArray &in, qint64 size)
{
    QByteArray out(size, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    stream.avail_in = uInt(in.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.total_out == uLong(size);
    inflateEnd(&stream);
    return whole ? std::optional(out) : std::nullopt;
}

// The entries of a zip; a problem when it is none, or cannot be read whole.
Problem unzip(const QByteArray &file, QVector<Entry> &entries, QString &detail)
{
    const qint64 size = file.size();
    qint64 end = -1;
    for (qint64 at = size - kEndSize; at >= 0 && at >= size - kEndSize - 0xffff; --at) {
        if (get32(file, at) == kEndOfDirectory) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return Problem::NotAnExport;
    const int count = get16(file, end + 10);
    const qint64 directorySize = get32(file, end + 12);
    qint64 at = get32(file, end + 16);
    if (count > maxObjects + 1)
        return Problem::TooLarge;
    if (at + directorySize > end)
        return Problem::Damaged;
    qint64 total = 0;
    for (int i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > end || get32(file, at) != kCentralHeader)
            return Problem::Damaged;
        const quint16 flags = get16(file, at + 8);
        const quint16 method = get16(file, at + 10);
        const quint32 crc = get32(file, at + 16);
        const qint64 packed = get32(file, at + 20);
        const qint64 unpacked = get32(file, at + 24);
        const int nameSize = get16(file, at + 28);
        const int skip = get16(file, at + 30) + get16(file, at + 32);
        const qint64 local = get32(file, at + 42);
        if (at + kCentralHeaderSize + nameSize > end)
            return Problem::Damaged;
        Entry entry;
        entry.name = QString::fromUtf8(file.mid(at + kCentralHeaderSize, nameSize));
        at += kCentralHeaderSize + nameSize + skip;
        detail = entry.name;
        if (!isSafeEntryName(entry.name))
            return Problem::UnsafeName;
        total += unpacked;
        if (total > maxFileSize)
            return Problem::TooLarge;
        if ((flags & kEncrypted) || (method != kStored && method != kDeflated))
            return Problem::Damaged;
        if (local + kLocalHeaderSize > size || get32(file, local) != kLocalHeader)
            return Problem::Damaged;
        const qint64 data = local + kLocalHeaderSize + get16(file, local + 26) + get16(file, local + 28);
        if (data + packed > size)
            return Problem::Damaged;
        if (method == kStored) {
            if (packed != unpacked)
                return Problem::Damaged;
            entry.data = file.mid(data, packed);
        } else {
            const std::optional<QByteArray> inflated = inflateRaw(file.mid(data, packed), unpacked);
            if (!inflated)
                return Problem::Damaged;
            entry.data = *inflated;
        }
        if (checksum(entry.data) != crc)
            return Problem::Damaged;
        entries.append(entry);
    }
    detail.clear();
    return Problem::None;
}

} // namespace

bool isSafeKey(const QString &key)
{
    if (key.isEmpty() || key.startsWith(QLatin1Char('/')) || key.contains(QLatin1Char('\\')) ||
        hasControlCharacter(key))
        return false;
    const QStringList steps = key.split(QLatin1Char('/'));
    for (const QString &step : steps) {
        if (step == QLatin1String(".") || step == QLatin1String(".."))
            return false;
    }
    return true;
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !hasControlCharacter(name);
}

QByteArray write(const QVector<GameSaves> &games)
{
    QVector<Entry> entries;
    QSet<QString> taken{QString::fromLatin1(manifestName)};
    QJsonArray listed;
    for (const GameSaves &game : games) {
        QJsonArray objects;
        for (const SharedObject &object : game.objects) {
            const QString name = entryNameFor(game.movieFile, object.key, taken);
            entries.append({name, object.data});
            objects.append(QJsonObject{{QStringLiteral("file"), name}, {QStringLiteral("key"), object.key}});
        }
        listed.append(QJsonObject{{QStringLiteral("movie"), game.movieFile},
                                  {QStringLiteral("gameid"), game.gameId},
                                  {QStringLiteral("title"), game.title},
                                  {QStringLiteral("objects"), objects}});
    }
    const QJsonObject manifest{{QStringLiteral("format"), QString::fromLatin1(formatName)},
                               {QStringLiteral("version"), formatVersion},
                               {QStringLiteral("games"), listed}};
    // The manifest first: a look inside the file shows what it is.
    entries.prepend({QString::fromLatin1(manifestName), QJsonDocument(manifest).toJson(QJsonDocument::Indented)});
    return zip(entries);
}

ReadResult read(const QByteArray &file)
{
    ReadResult result;
    if (file.size() > maxFileSize) {
        result.problem = Problem::TooLarge;
        return result;
    }
    QVector<Entry> entries;
    result.problem = unzip(file, entries, result.detail);
    if (result.problem != Problem::None)
        return result;
    QHash<QString, QByteArray> byName;
    for (const Entry &entry : std::as_const(entries))
        byName.insert(entry.name, entry.data);

    const auto refuse = [&result](Problem problem, const QString &detail = QString()) {
        result.problem = problem;
        result.detail = detail;
        result.games.clear();
        return result;
    };
    const auto manifestEntry = byName.constFind(QString::fromLatin1(manifestName));
    if (manifestEntry == byName.constEnd())
        return refuse(Problem::NotAnExport);
    if (manifestEntry->size() > maxManifestSize)
        return refuse(Problem::TooLarge);
    const QJsonObject manifest = QJsonDocument::fromJson(*manifestEntry).object();
    if (manifest.value(QStringLiteral("format")).toString() != QLatin1String(formatName))
        return refuse(Problem::NotAnExport);
    if (manifest.value(QStringLiteral("version")).toInt() > formatVersion)
        return refuse(Problem::NewerFormat);
    if (!manifest.value(QStringLiteral("games")).isArray())
        return refuse(Problem::Damaged);
    // Each name handed out counts, the same entry as often as it is named: a small zip naming one large entry
    // many times would otherwise grow into gigabytes on the way to the player.
    const QJsonArray listedGames = manifest.value(QStringLiteral("games")).toArray();
    if (listedGames.size() > maxObjects)
        return refuse(Problem::TooLarge);
    qint64 named = 0;
    qint64 namedBytes = 0;
    for (const QJsonValue &listed : listedGames) {
        const QJsonObject game = listed.toObject();
        GameSaves saves;
        saves.movieFile = game.value(QStringLiteral("movie")).toString();
        saves.gameId = game.value(QStringLiteral("gameid")).toString();
        saves.title = game.value(QStringLiteral("title")).toString();
        if (!isPlainFileName(saves.movieFile))
            return refuse(Problem::UnsafeName, saves.movieFile);
        for (const QJsonValue &value : game.value(QStringLiteral("objects")).toArray()) {
            const QJsonObject object = value.toObject();
            const QString name = object.value(QStringLiteral("file")).toString();
            const QString key = object.value(QStringLiteral("key")).toString();
            if (!isSafeKey(key))
                return refuse(Problem::UnsafeName, key);
            const auto data = byName.constFind(name);
            if (data == byName.constEnd())
                return refuse(Problem::Damaged, name);
            namedBytes += data->size();
            if (++named > maxObjects || namedBytes > maxFileSize)
                return refuse(Problem::TooLarge);
            saves.objects.append({key, *data});
        }
        result.games.append(saves);
    }
    return result;
}

ReadResult readFile(const QString &path)
{
    QFile in(path);
    ReadResult result;
    if (!in.open(QIODevice::ReadOnly)) {
        result.problem = Problem::CannotRead;
        result.detail = in.errorString();
        return result;
    }
    // Not read beyond what an export can be, whatever the file claims to be (a pipe claims nothing).
    QByteArray bytes;
    while (bytes.size() <= maxFileSize) {
        const QByteArray chunk = in.read(1024 * 1024);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (in.error() != QFileDevice::NoError) {
        result.problem = Problem::CannotRead;
        result.detail = in.errorString();
        return result;
    }
    return read(bytes);
}

void readFileLater(const QString &path, QObject *context, std::function<void(const ReadResult &)> done)
{
    auto promise = std::make_shared<QPromise<ReadResult>>();
    promise->future().then(context, [done = std::move(done)](const ReadResult &result) { done(result); });
    QThreadPool::globalInstance()->start([promise, path] {
        promise->start();
        promise->addResult(readFile(path));
        promise->finish();
    });
}

} // namespace savesarchive
