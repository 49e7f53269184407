#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace portal {

// A file the portal serves as it is: a movie, a picture or an advertisement.
struct Asset
{
    Asset() = default;
    Asset(std::string fileBytes, std::string type);
    std::string bytes;
    std::string contentType;
    std::string etag; // strong, quoted, made from the bytes: a range request can name this version
};

// A file kept beside the movies in a subfolder of the games folder, opened when it is asked for: it is read as it
// is then, so that a file changed or removed while the server runs is served that way.
struct BesideFile
{
    std::shared_ptr<const int> fd; // closed once the last answer reading it is gone
    std::size_t size = 0;
    std::string contentType;
    std::string etag; // strong, quoted: the file, its size and its modification time
};

struct Category
{
    std::string key; // the value of main.htm?cat=
    QString label;
};

// One game of the portal. Texts are plain here; the wire form with its codes is made when they are sent.
struct Game
{
    int id = 0;
    QString title;
    QString description;
    std::string category;    // a key of the portal's categories; empty for a test movie
    std::string movieFile;   // under movies/
    std::string pictureFile; // under pics/
    // The coloured movies of known sizes that tests download: served like any game, listed only on the
    // tests page, never on the portal's own pages.
    bool testMovie = false;
};

// The games, categories and files the portal offers; built once at start-up and read-only afterwards, so
// that the server threads can share it.
class Catalogue
{
public:
    static constexpr const char *bannerPath = "ads/gg_banner.swf";
    static constexpr const char *downloadAdPath = "ads/gg_download.swf";

    Catalogue();

    // The category of main.htm?cat= that lists the test movies; it is not linked from the left column.
    static constexpr const char *testsCategory = "tests";

    // Adds every NAME.swf of folder as a game, with NAME.txt (title, description, picture colour, category)
    // and NAME.png as its picture when there is one. Each keeps its id in the folder's id file (gameids.h).
    // Returns a description of what was skipped or not understood, empty when everything was taken.
    QString addGamesFolder(const QString &folder);

    const std::vector<Category> &categories() const { return m_categories; }
    const std::vector<Game> &games() const { return m_games; }
    const Game *game(int id) const;
    // A served file by its path relative to the base URL ("movies/x.swf"), or null.
    const Asset *asset(const std::string &path) const;
    // The file a movie loads beside it, by its path inside the games folder ("typing/words.txt"): a regular file
    // in a subfolder, reached by plain segments (none hidden), within the folder and the size of a movie.
    std::optional<BesideFile> besideFile(const std::string &path) const;

private:
    void addGame(Game game, std::string movie, const std::vector<uint32_t> &colours, const char *pictureFormat);
    void addGameWithPicture(Game game, std::string movie, std::string picture, std::string pictureType);

    std::vector<Category> m_categories;
    std::vector<Game> m_games;
    std::map<std::string, Asset> m_assets;
    QString m_folder; // the games folder, canonical; empty without one
};

} // namespace portal
