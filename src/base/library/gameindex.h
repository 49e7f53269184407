#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <Qt>

// What the library grid needs of every recorded game to find and order it, kept compact so that a library
// of a hundred thousand games filters as the user types: the titles and descriptions folded for matching in
// one block of UTF-8, the movie file names in another, and the play statistics. The texts themselves are
// read from the store only for the rows on screen.
class GameIndex
{
public:
    enum class SortKey
    {
        Id,
        Title,
        File,
        Description,
        LastPlayed,
        PlayCount,
        Favourite, // starred games before the others
        PlayTime   // by the time each game ran in front of the user
    };

    struct Sort
    {
        SortKey key = SortKey::Id;
        Qt::SortOrder order = Qt::DescendingOrder;
        bool operator==(const Sort &o) const { return key == o.key && order == o.order; }
        bool operator!=(const Sort &o) const { return !(*this == o); }
    };
    // The library's own order: the newest game first.
    static Sort defaultSort() { return {}; }

    // Text as the filter sees it: the server's codes turned back, case folded, as UTF-8.
    static QByteArray fold(const QString &text);

    void clear();
    // Games are added newest first (descending id), as the store lists them.
    void append(qint64 id, const QString &title, const QString &file, const QString &description, qint64 lastPlayed,
                qint64 playCount, bool favourite = false, qint64 playSeconds = 0);
    int size() const { return m_live; }
    bool contains(qint64 id) const { return find(id) >= 0; }

    void remove(qint64 id);
    void setPlayed(qint64 id, qint64 lastPlayed, qint64 playCount);
    void setFavourite(qint64 id, bool favourite);
    void setPlayTime(qint64 id, qint64 playSeconds);
    bool isFavourite(qint64 id) const;

    // The ids of the games whose title or description holds needle (any case; every game for a blank
    // needle), only the starred ones when favouritesOnly, in the given order; ties keep the newest first.
    QVector<qint64> select(const QString &needle, Sort sort, bool favouritesOnly = false) const;

    // Bytes held, for the benchmark's figures.
    qint64 memoryBytes() const;

private:
    struct Entry
    {
        qint64 id;
        qint64 lastPlayed;
        qint64 playCount;
        qint64 playSeconds;
        quint32 textOffset; // title, 0x1F, description, 0x1E in m_text
        quint32 titleLength;
        quint32 descriptionLength;
        quint32 fileOffset;
        quint32 fileLength;
        bool removed;
        bool favourite;
    };

    int find(qint64 id) const;
    QVector<int> order(Sort sort) const;
    QByteArray title(const Entry &e) const
    {
        return QByteArray::fromRawData(m_text.constData() + e.textOffset, e.titleLength);
    }

    // Puts every game's texts in the order of m_entries again, as the search reads them.
    void layOutTexts();

    QVector<Entry> m_entries; // descending id, their texts in the same order
    QByteArray m_text;
    QByteArray m_files;
    int m_live = 0;
    // The last order worked out, kept until the games or their statistics change.
    mutable Sort m_cachedSort;
    mutable QVector<int> m_cachedOrder;
    mutable bool m_cacheValid = false;
};
