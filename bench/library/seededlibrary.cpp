#include "seededlibrary.h"

#include "base/library/gameindex.h"
#include "base/library/gamestore.h"
#include "sqlciphercli.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QVector>

#include <cmath>

namespace {

const QStringList adjectives = {
    QStringLiteral("Super"),    QStringLiteral("Mega"),   QStringLiteral("Tiny"),   QStringLiteral("Crazy"),
    QStringLiteral("Happy"),    QStringLiteral("Little"), QStringLiteral("Brave"),  QStringLiteral("Lucky"),
    QStringLiteral("Magic"),    QStringLiteral("Rapid"),  QStringLiteral("Silent"), QStringLiteral("Golden"),
    QStringLiteral("Bob#39;s"), QStringLiteral("Funky"),  QStringLiteral("Cosmic"), QStringLiteral("Frosty"),
    QStringLiteral("超级"),     QStringLiteral("快乐的"), QStringLiteral("神奇"),   QStringLiteral("疯狂"),
};

// Ordered from the most frequent to the rarest: word k is in about 1/(k+1) as many titles as the first.
const QStringList nouns = {
    QStringLiteral("Dragon"),  QStringLiteral("Castle"),     QStringLiteral("Rocket"),    QStringLiteral("Pirate"),
    QStringLiteral("Jungle"),  QStringLiteral("Wizard"),     QStringLiteral("Kitten"),    QStringLiteral("Zombie"),
    QStringLiteral("Tractor"), QStringLiteral("Volcano"),    QStringLiteral("Penguin"),   QStringLiteral("Dolphin"),
    QStringLiteral("Garden"),  QStringLiteral("Bubble"),     QStringLiteral("Puzzle"),    QStringLiteral("Marble"),
    QStringLiteral("Tennis"),  QStringLiteral("Hockey"),     QStringLiteral("Soccer"),    QStringLiteral("Bowling"),
    QStringLiteral("Karate"),  QStringLiteral("Ninja"),      QStringLiteral("Robot"),     QStringLiteral("Meteor"),
    QStringLiteral("Planet"),  QStringLiteral("Galaxy"),     QStringLiteral("Island"),    QStringLiteral("Desert"),
    QStringLiteral("Glacier"), QStringLiteral("Canyon"),     QStringLiteral("Forest"),    QStringLiteral("Temple"),
    QStringLiteral("Knight"),  QStringLiteral("Archer"),     QStringLiteral("Viking"),    QStringLiteral("Samurai"),
    QStringLiteral("Cowboy"),  QStringLiteral("Sheriff"),    QStringLiteral("Detective"), QStringLiteral("Chef"),
    QStringLiteral("Bakery"),  QStringLiteral("Pizza"),      QStringLiteral("Burger"),    QStringLiteral("Candy"),
    QStringLiteral("Cookie"),  QStringLiteral("Donut"),      QStringLiteral("Taxi"),      QStringLiteral("Truck"),
    QStringLiteral("Subway"),  QStringLiteral("Helicopter"), QStringLiteral("Submarine"), QStringLiteral("Balloon"),
    QStringLiteral("Kite"),    QStringLiteral("Yacht"),      QStringLiteral("Piano"),     QStringLiteral("Guitar"),
    QStringLiteral("Drum"),    QStringLiteral("Violin"),     QStringLiteral("Trumpet"),   QStringLiteral("Circus"),
    QStringLiteral("Clown"),   QStringLiteral("Magnet"),     QStringLiteral("Crystal"),   QStringLiteral("Diamond"),
};

// %1 is the title's word, %2 a number.
const QStringList descriptions = {
    QStringLiteral("这是一个很好玩的游戏。 A fine game to play, number %2, with #34;stars#34; and levels that grow"
                   " harder as you go; catch them all before the time runs out."),
    QStringLiteral("Guide the %1 through %2 levels of traps and treasure. 用鼠标控制，空格键跳跃。"),
    QStringLiteral("经典益智游戏：帮助%1找到回家的路。 Use the arrow keys; every round is quicker than the one"
                   " before."),
    QStringLiteral("Bob#39;s favourite: race the %1 against the clock and beat your best score of %2 points!"),
};

const QString chinesePrefix = QStringLiteral("小游戏 ");

quint32 mixed(quint32 x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Spread so that word k is chosen about ln((k+2)/(k+1)) / ln(count+1) of the time.
int nounOf(int game)
{
    const double u = (mixed(quint32(game)) & 0xFFFFFF) / double(1 << 24);
    const int rank = int(std::exp(u * std::log(nouns.size() + 1.0))) - 1;
    return qBound(0, rank, int(nouns.size()) - 1);
}

QString titleOf(int game)
{
    return (game % 3 == 0 ? chinesePrefix : QString()) + adjectives.at((game / 3) % adjectives.size()) +
           QLatin1Char(' ') + nouns.at(nounOf(game)) + QLatin1Char(' ') + QString::number(game % 97 + 1);
}

QString descriptionOf(int game)
{
    return QString(descriptions.at(game % descriptions.size()))
        .replace(QLatin1String("%1"), nouns.at(nounOf(game)))
        .replace(QLatin1String("%2"), QString::number(game % 500 + 10));
}

// Every text a game's title or description is made of, besides its own word, as the filter sees it.
QVector<QByteArray> sharedTexts(int except)
{
    QVector<QByteArray> texts;
    for (const QString &word : adjectives)
        texts << GameIndex::fold(word);
    for (int k = 0; k < nouns.size(); ++k) {
        if (k != except)
            texts << GameIndex::fold(nouns.at(k));
    }
    for (const QString &description : descriptions)
        texts << GameIndex::fold(QString(description).remove(QLatin1String("%1")).remove(QLatin1String("%2")));
    texts << GameIndex::fold(chinesePrefix);
    return texts;
}

bool anyHolds(const QVector<QByteArray> &texts, const QByteArray &part)
{
    for (const QByteArray &text : texts) {
        if (text.contains(part))
            return true;
    }
    return false;
}

QString sqlRow(int game)
{
    return QStringLiteral("(%1, %2, %3, %4, %5, %6)")
        .arg(game)
        .arg(10000 + game)
        .arg(SqlCipherCli::literal(titleOf(game)), SqlCipherCli::literal(QStringLiteral("game%1.swf").arg(game)),
             SqlCipherCli::literal(QStringLiteral("game%1.png").arg(game)), SqlCipherCli::literal(descriptionOf(game)));
}

} // namespace

SeededLibrary SeededLibrary::write(const QString &dataFolder, int games)
{
    QElapsedTimer timer;
    timer.start();
    const QDir folder(dataFolder);
    folder.mkpath(QStringLiteral("pic"));
    folder.mkpath(QStringLiteral("flash"));
    const QString library = folder.filePath(GameStore::fileName());
    if (!GameStore::createLibrary(library))
        qFatal("cannot create the library");

    // One transaction, rows in statements of a few hundred: the command-line tool writes them in a second or two.
    const QString scriptPath = folder.filePath(QStringLiteral("seed.sql"));
    {
        QFile script(scriptPath);
        if (!script.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(scriptPath));
        constexpr int rowsPerStatement = 500;
        script.write("BEGIN;\n");
        for (int from = 1; from <= games; from += rowsPerStatement) {
            QString statement =
                QStringLiteral("INSERT INTO data (id, gameid, gamename, game, gamepic, gamedesc) VALUES ");
            for (int game = from; game < from + rowsPerStatement && game <= games; ++game)
                statement += (game == from ? QString() : QStringLiteral(",")) + sqlRow(game);
            script.write(statement.toUtf8() + ";\n");
        }
        script.write("COMMIT;\n");
    }
    const SqlCipherCli seeded = SqlCipherCli::run(library, QStringLiteral(".read '%1'\n").arg(scriptPath));
    QFile::remove(scriptPath);
    if (seeded.exitCode != 0 || !seeded.err.isEmpty())
        qFatal("cannot fill the library: %s", qPrintable(seeded.err));

    QImage picture(120, 90, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (int game = qMax(1, games - pictures + 1); game <= games; ++game)
        picture.save(folder.filePath(QStringLiteral("pic/game%1.png").arg(game)), "PNG");

    SeededLibrary result;
    result.games = games;
    result.fileBytes = QFileInfo(library).size();
    result.seedMilliseconds = timer.nsecsElapsed() / 1e6;

    // The search: the start of a word that no other text holds, so that the games it matches are those whose
    // title has the word; of those, the one nearest to three hundred games.
    QVector<int> perNoun(nouns.size(), 0);
    for (int game = 1; game <= games; ++game)
        ++perNoun[nounOf(game)];
    double bestDistance = 1e9;
    int chosen = -1;
    for (int k = 0; k < nouns.size(); ++k) {
        const QByteArray start = GameIndex::fold(nouns.at(k)).left(3);
        if (perNoun.at(k) == 0 || anyHolds(sharedTexts(k), start))
            continue;
        const double distance = std::abs(std::log(perNoun.at(k) / 300.0));
        if (distance < bestDistance) {
            bestDistance = distance;
            chosen = k;
        }
    }
    if (chosen < 0)
        qFatal("no word to search for");
    result.search = QString::fromUtf8(GameIndex::fold(nouns.at(chosen)).left(3));
    const QByteArray word = GameIndex::fold(nouns.at(chosen));
    for (char c : QByteArrayLiteral("qxzjvwkfbgy")) {
        if (c && !word.contains(result.search.toUtf8() + c)) {
            result.matchesNone = QLatin1Char(c);
            break;
        }
    }
    for (char c : QByteArrayLiteral("etaoinsrh")) {
        bool everywhere = c != 0;
        for (const QString &description : descriptions)
            everywhere = everywhere && GameIndex::fold(description).contains(c);
        if (everywhere) {
            result.matchesAll = QLatin1Char(c);
            break;
        }
    }
    if (result.matchesNone.isNull() || result.matchesAll.isNull())
        qFatal("no letters to type");
    return result;
}
