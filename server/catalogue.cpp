#include "catalogue.h"

#include "gameids.h"
#include "swfwriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portal {

namespace {

constexpr int pictureWidth = 120;
constexpr int pictureHeight = 90;
constexpr int firstFolderGameId = 101;
const char *const newCategory = "new";
// What the games folder's files may weigh; all of them are held in memory while the server runs.
constexpr qint64 maxMovieBytes = 128 << 20;
constexpr qint64 maxPictureBytes = 8 << 20;
constexpr qint64 maxTextBytes = 64 << 10;
// A picture is only decoded (to check it is one) below this many pixels.
constexpr qint64 maxPicturePixels = 4096 * 4096;

struct BuiltInGame
{
    int id;
    const char *title;       // UTF-8
    const char *description; // UTF-8
    const char *slug;
    std::vector<uint32_t> colours;
    double frameRate;
    int width, height;
    std::size_t size; // exact for uncompressed movies; compressed ones round up a little
    bool compressed;
    const char *pictureFormat;
};

// The test movies: solid colours of known sizes, with the texts the program must carry unchanged. Two whose
// movies have exact sizes serve the download's chunk arithmetic: 3000 bytes are three chunks (1024, 1024,
// 952) and 2048 bytes end on a chunk boundary.
const std::vector<BuiltInGame> &builtInGames()
{
    // clang-format off
    static const std::vector<BuiltInGame> games = {
        {1, "快乐方块", "把彩色方块排成一行就能消除它们。简单好玩，适合全家一起玩的益智游戏！",
         "happy-blocks", {0xE53935, 0xFB8C00, 0xFDD835}, 3, 550, 400, 4400, false, "PNG"},
        {2, "Xiao Ming's 星际迷宫", "驾驶小飞船穿过星际迷宫，收集所有能量石。小明说：\"太好玩了！\" It's his favourite.",
         "star-maze", {0x1A237E, 0x3949AB, 0x7986CB, 0x00BCD4}, 4, 640, 480, 5200, true, "PNG"},
        {3, "Tom's \"best\" game", "Tom's \"best\" game: hop across the river on the lily pads.",
         "toms-best-game", {0x2E7D32, 0x66BB6A}, 2, 550, 400, 3500, false, "PNG"},
        {4, "Pocket Racer", "A tiny racing game: steer left and right and keep off the kerb.",
         "pocket-racer", {0xD81B60, 0x8E24AA, 0x5E35B1}, 3, 550, 400, 3000, false, "PNG"},
        {5, "Tiny Tennis", "Two paddles, one ball, first to eleven wins.",
         "tiny-tennis", {0xC0CA33, 0x7CB342}, 2, 400, 300, 2048, false, "PNG"},
        {6, "Bubble Pop", "Pop the rising bubbles in threes before they float away.",
         "bubble-pop", {0xF4511E, 0x6D4C41, 0x546E7A, 0xFFB300}, 4, 550, 400, 6100, false, "PNG"},
        {7, "Moon Lander", "Fire the thrusters gently and land on the pad with fuel to spare.",
         "moon-lander", {0x263238, 0x90A4AE, 0xECEFF1}, 3, 640, 480, 4800, true, "JPEG"},
        {8, "Colour Sort", "Pour the coloured balls until every tube holds one colour.",
         "colour-sort", {0x00897B, 0xE91E63, 0x3F51B5, 0xFFEB3B}, 2, 550, 400, 3900, false, "PNG"},
        {9, "Penguin Slide", "Slide down the ice hill, jump the gaps and collect the fish.",
         "penguin-slide", {0x81D4FA, 0x0277BD}, 3, 550, 400, 5600, false, "PNG"},
        {10, "Garden Defence", "Plant flowers along the path and keep the beetles out of the garden.",
         "garden-defence", {0x558B2F, 0xAED581, 0x795548}, 2, 550, 400, 4200, false, "PNG"},
        {11, "熊猫跳跳", "小熊猫要跳过一根又一根竹子，看看你能跳多远！",
         "panda-jump", {0x212121, 0xFAFAFA, 0x43A047}, 3, 400, 300, 3300, false, "PNG"},
    };
    // clang-format on
    return games;
}

QString fromUtf8(const char *text)
{
    return QString::fromUtf8(text);
}

QColor colourOf(uint32_t rgb)
{
    return QColor(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF));
}

// A thumbnail in the game's colours: a gradient with a few shapes, so that every game looks different.
std::string makePicture(const std::vector<uint32_t> &colours, int seed, const char *format)
{
    QImage image(pictureWidth, pictureHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor first = colourOf(colours.front());
    const QColor second = colourOf(colours.size() > 1 ? colours[1] : colours.front() ^ 0x404040);
    QLinearGradient gradient(0, 0, pictureWidth, pictureHeight);
    gradient.setColorAt(0, first);
    gradient.setColorAt(1, second);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 3));
    for (int i = 0; i < 3; ++i) {
        const QColor fill = colourOf(colours[size_t(i) % colours.size()]).lighter(130 + 20 * i);
        painter.setBrush(fill);
        const int x = 10 + (seed * 37 + i * 29) % 70;
        const int y = 10 + (seed * 23 + i * 31) % 45;
        const int d = 22 + (seed + i * 7) % 14;
        if ((seed + i) % 2)
            painter.drawEllipse(x, y, d, d);
        else
            painter.drawRoundedRect(x, y, d, d, 5, 5);
    }
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return buffer.data().toStdString();
}

// A file of the games folder opened for reading, or why it was not; present says whether anything is there.
struct OpenedFile
{
    bool present = false;
    int fd = -1;
    struct stat status = {};
    QString problem;
};

// Opens a regular file inside the folder (a symbolic link is followed while it stays inside) of at most maxBytes.
// A FIFO or a device is never read, and opening one cannot block: start-up must not hang on whatever the folder
// holds, nor a request on whatever it came to hold.
OpenedFile openFolderFile(const QString &canonicalFolder, const QString &path, qint64 maxBytes)
{
    OpenedFile file;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return file;
    file.present = true;
    const QString target = info.canonicalFilePath();
    if (target.isEmpty()) {
        file.problem = QStringLiteral("broken link");
        return file;
    }
    const QString inside = canonicalFolder.endsWith(QLatin1Char('/')) ? canonicalFolder : canonicalFolder + u'/';
    if (!target.startsWith(inside)) {
        file.problem = QStringLiteral("outside the folder");
        return file;
    }
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        file.problem = QStringLiteral("unreadable");
        return file;
    }
    if (::fstat(fd, &file.status) != 0 || !S_ISREG(file.status.st_mode))
        file.problem = QStringLiteral("not a regular file");
    else if (file.status.st_size > maxBytes)
        file.problem = QStringLiteral("larger than %1 MiB").arg(maxBytes >> 20);
    if (!file.problem.isEmpty()) {
        ::close(fd);
        return file;
    }
    file.fd = fd;
    return file;
}

// How reading a file of the games folder went; problem says why a file that is there was not taken.
struct FolderFile
{
    bool present = false;
    QByteArray bytes;
    QString problem;
};

FolderFile readFolderFile(const QString &canonicalFolder, const QString &path, qint64 maxBytes)
{
    const OpenedFile opened = openFolderFile(canonicalFolder, path, maxBytes);
    FolderFile file;
    file.present = opened.present;
    file.problem = opened.problem;
    if (opened.fd < 0)
        return file;
    file.bytes.resize(qsizetype(opened.status.st_size));
    qsizetype done = 0;
    while (done < file.bytes.size()) {
        const ssize_t n = ::read(opened.fd, file.bytes.data() + done, std::size_t(file.bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    file.bytes.truncate(done); // a file that shrank while read is taken as it was read
    ::close(opened.fd);
    return file;
}

// Whether bytes are a PNG picture of sane dimensions: the size is read from the header before decoding.
bool isPicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxPicturePixels)
        return false;
    return !reader.read().isNull();
}

std::string contentTypeOf(const char *pictureFormat)
{
    return std::string(pictureFormat) == "JPEG" ? "image/jpeg" : "image/png";
}

std::string extensionOf(const char *pictureFormat)
{
    return std::string(pictureFormat) == "JPEG" ? ".jpg" : ".png";
}

std::string movie(const std::vector<uint32_t> &colours, double frameRate, int width, int height, std::size_t size,
                  bool compressed)
{
    swf::MovieSpec spec;
    spec.width = width;
    spec.height = height;
    spec.frameRate = frameRate;
    spec.frameColors = colours;
    spec.compressed = compressed;
    spec.padTo = size;
    return swf::writeSolidColourMovie(spec);
}

const std::string swfType = "application/x-shockwave-flash";

// The type a file beside the movies is sent with, by its name's ending.
std::string typeOfName(const std::string &name)
{
    static const std::map<std::string, std::string> types = {
        {".swf", swfType},       {".png", "image/png"},      {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"}, {".gif", "image/gif"},      {".mp3", "audio/mpeg"},
        {".txt", "text/plain"},  {".xml", "text/xml"},       {".json", "application/json"},
        {".html", "text/html"},  {".js", "text/javascript"}, {".wasm", "application/wasm"}};
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string ending = name.substr(dot);
        std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
        if (const auto it = types.find(ending); it != types.end())
            return it->second;
    }
    return "application/octet-stream";
}

// Whether path names a file in a subfolder without leaving it: plain segments, none hidden, no control characters.
bool isSubfolderPath(const std::string &path)
{
    if (path.find('/') == std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end == start || path[start] == '.')
            return false; // empty, ".", ".." or hidden
        start = end + 1;
    }
    return std::none_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

} // namespace

Asset::Asset(std::string fileBytes, std::string type) : bytes(std::move(fileBytes)), contentType(std::move(type))
{
    // FNV-1a with the size: another version of the file gets another tag.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes)
        hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
    char text[48];
    std::snprintf(text, sizeof text, "\"%016llx-%zx\"", static_cast<unsigned long long>(hash), bytes.size());
    etag = text;
}

Catalogue::Catalogue()
{
    m_categories = {
        {"action", fromUtf8("动作 Action")},
        {"puzzle", fromUtf8("益智 Puzzle")},
        {"sports", fromUtf8("体育 Sports")},
        {"classic", fromUtf8("经典 Classic")},
    };
    for (const BuiltInGame &b : builtInGames()) {
        Game game;
        game.id = b.id;
        game.title = fromUtf8(b.title);
        game.description = fromUtf8(b.description);
        game.testMovie = true;
        game.movieFile = std::string(b.slug) + ".swf";
        game.pictureFile = std::string(b.slug) + extensionOf(b.pictureFormat);
        addGame(std::move(game), movie(b.colours, b.frameRate, b.width, b.height, b.size, b.compressed), b.colours,
                b.pictureFormat);
    }
    // The advertisements animate through their colours so that one can see them play.
    m_assets[bannerPath] = {
        movie({0xFF7043, 0xFFCA28, 0x66BB6A, 0x29B6F6, 0xAB47BC, 0xEC407A}, 3, 995, 73, 5000, false), swfType};
    m_assets[downloadAdPath] = {movie({0x26A69A, 0xFFA726, 0x5C6BC0, 0xEF5350}, 2, 481, 71, 3600, false), swfType};
}

void Catalogue::addGame(Game game, std::string movieBytes, const std::vector<uint32_t> &colours,
                        const char *pictureFormat)
{
    std::string picture = makePicture(colours, game.id, pictureFormat);
    addGameWithPicture(std::move(game), std::move(movieBytes), std::move(picture), contentTypeOf(pictureFormat));
}

void Catalogue::addGameWithPicture(Game game, std::string movieBytes, std::string picture, std::string pictureType)
{
    m_assets["movies/" + game.movieFile] = {std::move(movieBytes), swfType};
    m_assets["pics/" + game.pictureFile] = {std::move(picture), std::move(pictureType)};
    m_games.push_back(std::move(game));
}

QString Catalogue::addGamesFolder(const QString &folder)
{
    const QDir dir(folder);
    const QString canonicalFolder = dir.canonicalPath();
    if (!dir.exists() || canonicalFolder.isEmpty())
        return QStringLiteral("no games folder %1").arg(folder);
    m_folder = canonicalFolder;

    QStringList skipped;
    const auto take = [&](const QString &name, qint64 maxBytes) {
        FolderFile file = readFolderFile(canonicalFolder, dir.filePath(name), maxBytes);
        if (!file.problem.isEmpty())
            skipped << QStringLiteral("%1 (%2)").arg(name, file.problem);
        return file;
    };
    // The games are gathered first and given their ids together, so that the id file is locked while the ids
    // are given, not while the movies are read.
    struct FolderGame
    {
        Game game;
        std::string movie;
        std::string picture; // the folder's own; empty: a card in colour
        uint32_t colour = 0;
    };
    std::vector<FolderGame> found;
    QStringList movieNames;
    // System entries too (FIFOs, devices, broken links), so that they are reported rather than passed over.
    const QStringList movies = dir.entryList({QStringLiteral("*.swf")}, QDir::Files | QDir::System, QDir::Name);
    for (const QString &file : movies) {
        const QString name = file.chopped(4);
        if (m_assets.count("movies/" + file.toStdString())) {
            skipped << file;
            continue;
        }
        const FolderFile movieFile = take(file, maxMovieBytes);
        if (!movieFile.problem.isEmpty())
            continue;
        QStringList lines;
        const FolderFile text = take(name + QStringLiteral(".txt"), maxTextBytes);
        if (!text.bytes.isEmpty())
            lines = QString::fromUtf8(text.bytes).remove(QChar(0xFEFF)).split(QLatin1Char('\n'));
        // Texts may be written as they travel, with the codes; the catalogue holds the characters.
        const auto line = [&lines](int i) {
            QString text = i < lines.size() ? lines.at(i).trimmed() : QString();
            return text.replace(QLatin1String("#39;"), QLatin1String("'"))
                .replace(QLatin1String("#34;"), QLatin1String("\""));
        };

        FolderGame entry;
        // Without a colour of its own a game still gets a stable one of its name.
        entry.colour = uint32_t(qHash(name)) & 0xFFFFFF;
        if (!line(2).isEmpty() && !swf::parseColour(line(2).toStdString(), entry.colour))
            skipped << name + QStringLiteral(".txt (colour)");

        Game &game = entry.game;
        game.title = line(0).isEmpty() ? name : line(0);
        game.description = line(1);
        game.category = newCategory;
        const std::string category = line(3).toLower().toStdString();
        const auto known = [&category](const Category &c) { return c.key == category; };
        if (category == newCategory || std::any_of(m_categories.begin(), m_categories.end(), known))
            game.category = category;
        else if (!category.empty())
            skipped << name + QStringLiteral(".txt (category)");
        game.movieFile = file.toStdString();
        game.pictureFile = name.toStdString() + ".png";
        entry.movie = movieFile.bytes.toStdString();

        // The game's own picture when it has one that reads as an image, else a card in its colour.
        const FolderFile picture = take(name + QStringLiteral(".png"), maxPictureBytes);
        if (picture.present && picture.problem.isEmpty()) {
            if (isPicture(picture.bytes))
                entry.picture = picture.bytes.toStdString();
            else
                skipped << name + QStringLiteral(".png");
        }
        movieNames << file;
        found.push_back(std::move(entry));
    }

    const FolderGameIds ids = assignGameIds(canonicalFolder, movieNames, firstFolderGameId);
    for (std::size_t i = 0; i < found.size(); ++i) {
        FolderGame &entry = found[i];
        entry.game.id = ids.ids[i];
        if (!entry.picture.empty())
            addGameWithPicture(std::move(entry.game), std::move(entry.movie), std::move(entry.picture), "image/png");
        else
            addGame(std::move(entry.game), std::move(entry.movie), {entry.colour, entry.colour ^ 0x5A5A5A}, "PNG");
    }
    // New games without a category of their own have one of their own in the left column.
    const bool anyNew =
        std::any_of(m_games.begin(), m_games.end(), [](const Game &g) { return g.category == newCategory; });
    const bool listed =
        std::any_of(m_categories.begin(), m_categories.end(), [](const Category &c) { return c.key == newCategory; });
    if (anyNew && !listed)
        m_categories.push_back({newCategory, fromUtf8("新游戏 New")});
    QStringList problems;
    if (!skipped.isEmpty())
        problems << QStringLiteral("skipped %1").arg(skipped.join(QStringLiteral(", ")));
    if (!ids.problem.isEmpty())
        problems << ids.problem;
    return problems.join(QStringLiteral("; "));
}

const Game *Catalogue::game(int id) const
{
    const auto it = std::find_if(m_games.begin(), m_games.end(), [id](const Game &g) { return g.id == id; });
    return it == m_games.end() ? nullptr : &*it;
}

const Asset *Catalogue::asset(const std::string &path) const
{
    const auto it = m_assets.find(path);
    return it == m_assets.end() ? nullptr : &it->second;
}

std::optional<BesideFile> Catalogue::besideFile(const std::string &path) const
{
    if (m_folder.isEmpty() || !isSubfolderPath(path))
        return std::nullopt;
    const OpenedFile opened = openFolderFile(m_folder, QDir(m_folder).filePath(QString::fromUtf8(path)), maxMovieBytes);
    if (opened.fd < 0)
        return std::nullopt;
    BesideFile file;
    file.fd = std::shared_ptr<const int>(new int(opened.fd), [](const int *fd) {
        ::close(*fd);
        delete fd;
    });
    file.size = std::size_t(opened.status.st_size);
    file.contentType = typeOfName(path);
    // Its version without reading it: another file, size or modification time gives another tag.
    const struct stat &st = opened.status;
    char tag[96];
    std::snprintf(tag, sizeof tag, "\"f-%llx-%llx-%llx-%llx.%lx\"", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
                  static_cast<unsigned long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec));
    file.etag = tag;
    return file;
}

} // namespace portal
