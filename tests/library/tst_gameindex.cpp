// Finding and ordering games in the compact index the library grid works from.
#include "base/library/gameindex.h"

#include <QTest>

using Sort = GameIndex::Sort;
using Key = GameIndex::SortKey;

class tst_GameIndex : public QObject
{
    Q_OBJECT

private:
    // Ids 5 down to 1, newest first, as the store lists them.
    static GameIndex sample()
    {
        GameIndex index;
        // Games 4 and 1 are starred.
        index.append(5, QStringLiteral("Zebra Run"), QStringLiteral("b.swf"), QStringLiteral("Stripes"), 100, 2, false,
                     60);
        index.append(4, QStringLiteral("Tom#39;s #34;best#34; game"), QStringLiteral("e.swf"),
                     QStringLiteral("Tom#39;s own"), 0, 0, true, 0);
        index.append(3, QStringLiteral("快乐方块"), QStringLiteral("a.swf"), QStringLiteral("方块 BLOCKS galore"), 300,
                     1, false, 3600);
        index.append(2, QStringLiteral("apple Catch"), QStringLiteral("d.swf"), QStringLiteral("Ärger im Obstgarten"),
                     200, 7, false, 60);
        index.append(1, QStringLiteral("Apple catch"), QStringLiteral("c.swf"), QStringLiteral("zebra in a tree"), 0, 0,
                     true, 10);
        return index;
    }

private slots:
    void filterMatchesTitlesAndDescriptionsInAnyCase_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QVector<qint64>>("ids");
        QTest::newRow("blank: every game, newest first") << QStringLiteral("  ") << QVector<qint64>{5, 4, 3, 2, 1};
        QTest::newRow("title and description, any case") << QStringLiteral("ZEBRA") << QVector<qint64>{5, 1};
        QTest::newRow("Chinese") << QStringLiteral("方块") << QVector<qint64>{3};
        QTest::newRow("Chinese and Latin mixed") << QStringLiteral("方块 blocks") << QVector<qint64>{3};
        QTest::newRow("codes match the characters") << QStringLiteral("tom's \"best\"") << QVector<qint64>{4};
        QTest::newRow("a code typed is its character") << QStringLiteral("#39;s own") << QVector<qint64>{4};
        QTest::newRow("beyond ASCII folds too") << QStringLiteral("ärger") << QVector<qint64>{2};
        QTest::newRow("file names are not searched") << QStringLiteral("a.swf") << QVector<qint64>{};
        QTest::newRow("no match across title and description") << QStringLiteral("runstripes") << QVector<qint64>{};
        QTest::newRow("no match across games") << QStringLiteral("stripestom") << QVector<qint64>{};
        QTest::newRow("nothing") << QStringLiteral("xyz") << QVector<qint64>{};
    }
    void filterMatchesTitlesAndDescriptionsInAnyCase()
    {
        QFETCH(QString, needle);
        QFETCH(QVector<qint64>, ids);
        QCOMPARE(sample().select(needle, GameIndex::defaultSort()), ids);
    }

    void sortOrdersKeepTheNewestFirstAmongEquals_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("order");
        QTest::addColumn<QVector<qint64>>("ids");
        QTest::newRow("oldest first") << int(Key::Id) << int(Qt::AscendingOrder) << QVector<qint64>{1, 2, 3, 4, 5};
        // "apple catch" twice: the newer (2) first in both directions.
        QTest::newRow("title A-Z") << int(Key::Title) << int(Qt::AscendingOrder) << QVector<qint64>{2, 1, 4, 5, 3};
        QTest::newRow("title Z-A") << int(Key::Title) << int(Qt::DescendingOrder) << QVector<qint64>{3, 5, 4, 2, 1};
        QTest::newRow("file") << int(Key::File) << int(Qt::AscendingOrder) << QVector<qint64>{3, 5, 1, 2, 4};
        QTest::newRow("description") << int(Key::Description) << int(Qt::AscendingOrder)
                                     << QVector<qint64>{5, 4, 1, 2, 3};
        QTest::newRow("recently played") << int(Key::LastPlayed) << int(Qt::DescendingOrder)
                                         << QVector<qint64>{3, 2, 5, 4, 1};
        QTest::newRow("most played") << int(Key::PlayCount) << int(Qt::DescendingOrder)
                                     << QVector<qint64>{2, 5, 3, 4, 1};
        QTest::newRow("favourites first")
            << int(Key::Favourite) << int(Qt::DescendingOrder) << QVector<qint64>{4, 1, 5, 3, 2};
        QTest::newRow("most time played")
            << int(Key::PlayTime) << int(Qt::DescendingOrder) << QVector<qint64>{3, 5, 2, 1, 4};
    }
    void sortOrdersKeepTheNewestFirstAmongEquals()
    {
        QFETCH(int, key);
        QFETCH(int, order);
        QFETCH(QVector<qint64>, ids);
        QCOMPARE(sample().select(QString(), Sort{Key(key), Qt::SortOrder(order)}), ids);
    }

    void removalAndPlaysChangeWhatIsShown()
    {
        GameIndex index = sample();
        const Sort recent{Key::LastPlayed, Qt::DescendingOrder};
        QCOMPARE(index.select(QString(), recent).first(), 3);
        index.setPlayed(1, 900, 1);
        QCOMPARE(index.select(QString(), recent).first(), 1);
        index.remove(1);
        index.remove(1); // twice is harmless
        QCOMPARE(index.size(), 4);
        QVERIFY(!index.contains(1));
        QCOMPARE(index.select(QStringLiteral("zebra"), recent), QVector<qint64>{5});
        QCOMPARE(index.select(QString(), recent), (QVector<qint64>{3, 2, 5, 4}));
        // Stars change the favourites shown, alone or with the search.
        const Sort favouritesFirst{Key::Favourite, Qt::DescendingOrder};
        QCOMPARE(index.select(QString(), favouritesFirst).first(), 4);
        index.setFavourite(2, true);
        index.setFavourite(4, false);
        QCOMPARE(index.select(QString(), favouritesFirst).first(), 2);
        QCOMPARE(index.select(QString(), GameIndex::defaultSort(), true), QVector<qint64>{2});
        QCOMPARE(index.select(QStringLiteral("zebra"), GameIndex::defaultSort(), true), QVector<qint64>{});
        index.setPlayTime(4, 7200);
        QCOMPARE(index.select(QString(), Sort{Key::PlayTime, Qt::DescendingOrder}).first(), 4);
        index.setPlayed(42, 1, 1); // not in the index: nothing happens
        index.clear();
        QCOMPARE(index.select(QString(), GameIndex::defaultSort()), QVector<qint64>{});
    }

    void separatorsAndHugeTextsStayInsideTheirGame()
    {
        GameIndex index;
        const QString huge = QString(100000, QLatin1Char('x')) + QStringLiteral("needle");
        index.append(3, QStringLiteral("a\x1f\x1e"), QStringLiteral("f"), QStringLiteral("<b>markup</b>"), 0, 0);
        index.append(2, huge, QStringLiteral("f"), QString(), 0, 0);
        index.append(1, QStringLiteral("plain"), QStringLiteral("f"), QStringLiteral("x"), 0, 0);
        QCOMPARE(index.select(QStringLiteral("needle"), GameIndex::defaultSort()), QVector<qint64>{2});
        QCOMPARE(index.select(QStringLiteral("<b>"), GameIndex::defaultSort()), QVector<qint64>{3});
        QCOMPARE(index.select(QStringLiteral("xx"), GameIndex::defaultSort()), QVector<qint64>{2});
        // A needle of separators alone is blank.
        QCOMPARE(index.select(QStringLiteral("\x1e"), GameIndex::defaultSort()), (QVector<qint64>{3, 2, 1}));
    }
};

QTEST_GUILESS_MAIN(tst_GameIndex)
#include "tst_gameindex.moc"
