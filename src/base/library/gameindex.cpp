#include "base/library/gameindex.h"

#include "base/textcodes.h"

#include <QByteArrayMatcher>

#include <algorithm>
#include <cstring>

namespace {

constexpr char titleEnd = '\x1F';
constexpr char entryEnd = '\x1E';

// A needle never holds the separators, so a match never runs from a title into its description.
QByteArray foldedNeedle(const QString &needle)
{
    QString plain = needle;
    plain.replace(QLatin1Char(titleEnd), QLatin1Char(' ')).replace(QLatin1Char(entryEnd), QLatin1Char(' '));
    return GameIndex::fold(plain.trimmed());
}

int compareBytes(const char *a, quint32 aLength, const char *b, quint32 bLength)
{
    const int common = std::memcmp(a, b, std::min(aLength, bLength));
    if (common != 0)
        return common;
    return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

} // namespace

QByteArray GameIndex::fold(const QString &text)
{
    return turnBackCodes(text).toCaseFolded().toUtf8();
}

void GameIndex::clear()
{
    m_entries.clear();
    m_text.clear();
    m_files.clear();
    m_live = 0;
    m_cacheValid = false;
}

void GameIndex::append(qint64 id, const QString &title, const QString &file, const QString &description,
                       qint64 lastPlayed, qint64 playCount, bool favourite, qint64 playSeconds)
{
    QByteArray foldedTitle = fold(title);
    QByteArray foldedDescription = fold(description);
    // A stored text holding a separator would let one game's match reach into the next.
    for (QByteArray *text : {&foldedTitle, &foldedDescription}) {
        text->replace(titleEnd, ' ');
        text->replace(entryEnd, ' ');
    }
    const QByteArray foldedFile = fold(file);
    Entry e{};
    e.id = id;
    e.lastPlayed = lastPlayed;
    e.playCount = playCount;
    e.playSeconds = playSeconds;
    e.favourite = favourite;
    e.textOffset = quint32(m_text.size());
    e.titleLength = quint32(foldedTitle.size());
    e.descriptionLength = quint32(foldedDescription.size());
    e.fileOffset = quint32(m_files.size());
    e.fileLength = quint32(foldedFile.size());
    m_text += foldedTitle;
    m_text += titleEnd;
    m_text += foldedDescription;
    m_text += entryEnd;
    m_files += foldedFile;
    // Kept in descending id order, the texts in the same order: games come oldest last as the store is read; a game
    // recorded since takes its place, and the texts are laid out again behind it.
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), id,
                                     [](const Entry &entry, qint64 value) { return entry.id > value; });
    const bool last = at == m_entries.end();
    m_entries.insert(at, e);
    if (!last)
        layOutTexts();
    ++m_live;
    m_cacheValid = false;
}

void GameIndex::layOutTexts()
{
    QByteArray text, files;
    text.reserve(m_text.size());
    files.reserve(m_files.size());
    for (Entry &e : m_entries) {
        const quint32 textOffset = quint32(text.size());
        text.append(m_text.constData() + e.textOffset, qsizetype(e.titleLength) + 1 + e.descriptionLength + 1);
        e.textOffset = textOffset;
        const quint32 fileOffset = quint32(files.size());
        files.append(m_files.constData() + e.fileOffset, e.fileLength);
        e.fileOffset = fileOffset;
    }
    m_text = text;
    m_files = files;
}

int GameIndex::find(qint64 id) const
{
    // Entries are kept in descending id order.
    const auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), id,
                                     [](const Entry &e, qint64 value) { return e.id > value; });
    if (it == m_entries.cend() || it->id != id || it->removed)
        return -1;
    return int(it - m_entries.cbegin());
}

void GameIndex::remove(qint64 id)
{
    const int at = find(id);
    if (at < 0)
        return;
    m_entries[at].removed = true;
    --m_live;
    m_cacheValid = false;
}

void GameIndex::setPlayed(qint64 id, qint64 lastPlayed, qint64 playCount)
{
    const int at = find(id);
    if (at < 0)
        return;
    m_entries[at].lastPlayed = lastPlayed;
    m_entries[at].playCount = playCount;
    if (m_cachedSort.key == SortKey::LastPlayed || m_cachedSort.key == SortKey::PlayCount)
        m_cacheValid = false;
}

void GameIndex::setFavourite(qint64 id, bool favourite)
{
    const int at = find(id);
    if (at < 0)
        return;
    m_entries[at].favourite = favourite;
    if (m_cachedSort.key == SortKey::Favourite)
        m_cacheValid = false;
}

void GameIndex::setPlayTime(qint64 id, qint64 playSeconds)
{
    const int at = find(id);
    if (at < 0)
        return;
    m_entries[at].playSeconds = playSeconds;
    if (m_cachedSort.key == SortKey::PlayTime)
        m_cacheValid = false;
}

bool GameIndex::isFavourite(qint64 id) const
{
    const int at = find(id);
    return at >= 0 && m_entries.at(at).favourite;
}

QVector<int> GameIndex::order(Sort sort) const
{
    if (m_cacheValid && m_cachedSort == sort)
        return m_cachedOrder;
    QVector<int> positions;
    positions.reserve(m_live);
    for (int i = 0; i < m_entries.size(); ++i) {
        if (!m_entries.at(i).removed)
            positions.append(i);
    }
    const Entry *entries = m_entries.constData();
    const char *text = m_text.constData();
    const char *files = m_files.constData();
    // -1, 0 or 1 for a before b in ascending order of the key.
    auto compare = [&](const Entry &a, const Entry &b) -> int {
        switch (sort.key) {
        case SortKey::Id:
            return a.id < b.id ? -1 : (a.id > b.id ? 1 : 0);
        case SortKey::Title:
            return compareBytes(text + a.textOffset, a.titleLength, text + b.textOffset, b.titleLength);
        case SortKey::File:
            return compareBytes(files + a.fileOffset, a.fileLength, files + b.fileOffset, b.fileLength);
        case SortKey::Description:
            return compareBytes(text + a.textOffset + a.titleLength + 1, a.descriptionLength,
                                text + b.textOffset + b.titleLength + 1, b.descriptionLength);
        case SortKey::LastPlayed:
            return a.lastPlayed < b.lastPlayed ? -1 : (a.lastPlayed > b.lastPlayed ? 1 : 0);
        case SortKey::PlayCount:
            return a.playCount < b.playCount ? -1 : (a.playCount > b.playCount ? 1 : 0);
        case SortKey::Favourite:
            return int(a.favourite) - int(b.favourite);
        case SortKey::PlayTime:
            return a.playSeconds < b.playSeconds ? -1 : (a.playSeconds > b.playSeconds ? 1 : 0);
        }
        return 0;
    };
    const bool descending = sort.order == Qt::DescendingOrder;
    // Positions start newest first and the sort is stable, so equal keys keep the newest first.
    if (sort.key != SortKey::Id || !descending) {
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
            const int c = compare(entries[a], entries[b]);
            return descending ? c > 0 : c < 0;
        });
    }
    m_cachedSort = sort;
    m_cachedOrder = positions;
    m_cacheValid = true;
    return positions;
}

QVector<qint64> GameIndex::select(const QString &needle, Sort sort, bool favouritesOnly) const
{
    const QVector<int> positions = order(sort);
    const QByteArray folded = foldedNeedle(needle);
    QVector<qint64> ids;
    if (folded.isEmpty()) {
        ids.reserve(positions.size());
        for (int at : positions) {
            if (!favouritesOnly || m_entries.at(at).favourite)
                ids.append(m_entries.at(at).id);
        }
        return ids;
    }

    // One pass over every game's text: each match marks its game and the search goes on after that game.
    QVector<bool> matched(m_entries.size(), false);
    const QByteArrayMatcher matcher(folded);
    qsizetype from = 0;
    int entry = 0;
    while (true) {
        const qsizetype hit = matcher.indexIn(m_text, from);
        if (hit < 0)
            break;
        while (entry + 1 < m_entries.size() && m_entries.at(entry + 1).textOffset <= quint32(hit))
            ++entry;
        matched[entry] = true;
        const Entry &e = m_entries.at(entry);
        from = qsizetype(e.textOffset) + e.titleLength + 1 + e.descriptionLength + 1;
    }
    for (int at : positions) {
        if (matched.at(at) && (!favouritesOnly || m_entries.at(at).favourite))
            ids.append(m_entries.at(at).id);
    }
    return ids;
}

qint64 GameIndex::memoryBytes() const
{
    return qint64(m_entries.capacity()) * qint64(sizeof(Entry)) + m_text.capacity() + m_files.capacity() +
           qint64(m_cachedOrder.capacity()) * qint64(sizeof(int));
}
