#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace portal {

// A file the portal serves as it is: a movie, a picture or an advertisement.
struct Asset
{
    std::string bytes;
    std::string contentType;
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
    std::string category;
    std::string movieFile;   // under movies/
    std::string pictureFile; // under pics/
};

// The games, categories and files the portal offers; built once at start-up and read-only afterwards, so
// that the server threads can share it.
class Catalogue
{
public:
    static constexpr const char *bannerPath = "ads/gg_banner.swf";
    static constexpr const char *downloadAdPath = "ads/gg_download.swf";

    Catalogue();

    // Adds every NAME.swf of folder (with NAME.txt: title, description, picture colour) as a new game.
    // Returns a description of what was skipped, empty when everything was taken.
    QString addGamesFolder(const QString &folder);

    const std::vector<Category> &categories() const { return m_categories; }
    const std::vector<Game> &games() const { return m_games; }
    const Game *game(int id) const;
    // A served file by its path relative to the base URL ("movies/x.swf"), or null.
    const Asset *asset(const std::string &path) const;

private:
    void addGame(Game game, std::string movie, const std::vector<uint32_t> &colours, const char *pictureFormat);

    std::vector<Category> m_categories;
    std::vector<Game> m_games;
    std::map<std::string, Asset> m_assets;
};

} // namespace portal
