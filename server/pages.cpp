#include "pages.h"

#include <QUrl>

namespace portal::pages {

namespace {

const char *const commonStyle = R"(
* { box-sizing: border-box; }
body { margin: 0; font: 13px/1.45 "Noto Sans CJK SC", "WenQuanYi Micro Hei", "Microsoft YaHei", sans-serif;
       color: #2b2f36; background: #f3f5f8; }
a { color: #1565c0; text-decoration: none; }
a:hover { text-decoration: underline; }
)";

QString page(const QString &title, const char *style, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"gbk\"><title>%1</title><style>%2%3</style>"
                          "</head><body>\n%4</body></html>\n")
        .arg(title.toHtmlEscaped(), QLatin1String(commonStyle), QLatin1String(style), body);
}

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString gameCard(const Game &game, const QString &href)
{
    return QStringLiteral("<a class=\"game\" href=\"%1\" target=\"_blank\"><img src=\"%2\" width=\"120\" "
                          "height=\"90\" alt=\"\"><span>%3</span></a>\n")
        .arg(href.toHtmlEscaped(), fileLink("pics", game.pictureFile).toHtmlEscaped(), game.title.toHtmlEscaped());
}

const char *const mainStyle = R"(
html { overflow-x: hidden; }
body { min-height: 100vh; }
.bar { display: flex; align-items: baseline; justify-content: space-between; height: 44px; padding: 10px 18px 0;
       background: linear-gradient(#ffffff, #e9eef5); border-bottom: 1px solid #d5dbe4; }
.bar h1 { margin: 0; font-size: 17px; color: #c62828; }
.bar span { color: #78808c; }
.grid { display: flex; flex-wrap: wrap; padding: 10px 8px; }
.game { display: block; width: 140px; margin: 6px 5px; padding: 8px 9px 6px; background: #fff; border: 1px solid #dde2ea;
        border-radius: 6px; text-align: center; color: #2b2f36; }
.game:hover { border-color: #ef6c00; text-decoration: none; box-shadow: 0 2px 6px rgba(0,0,0,.12); }
.game img { display: block; border-radius: 4px; }
.game span { display: block; margin-top: 5px; height: 19px; overflow: hidden; white-space: nowrap; text-overflow: ellipsis;
             font-weight: bold; }
.empty { padding: 40px; text-align: center; color: #78808c; }
.faults a { display: block; padding: 3px 18px; }
.foot { padding: 8px 18px; color: #9aa1ab; font-size: 11px; }
)";

struct FaultLink
{
    const char *query;
    const char *label;
};

// Links a test can click in the portal to reach each fault of a details answer.
const FaultLink faultLinks[] = {
    {"id=4&moviefault=chunked", "movie without Content-Length (chunked)"},
    {"id=4&moviefault=short", "movie cut short of its Content-Length"},
    {"id=4&moviefault=404", "movie answered 404"},
    {"id=4&moviefault=500", "movie answered 500"},
    {"id=4&moviefault=trickle-200", "movie trickling 1 KB per 200 ms"},
    {"id=4&picfault=404", "picture answered 404"},
    {"id=4&movie=slash", "movie URL ending in /"},
    {"id=4&movie=dotdot", "movie named .."},
    {"id=4&movie=backslash", "movie name with backslashes"},
    {"id=4&movie=control", "movie name with a control character"},
    {"id=4&pic=dotdot", "picture named .."},
    {"id=4&fields=3", "three fields only"},
    {"id=999", "unknown game (0)"},
    {"fault=nothex", "an HTML page instead of hex"},
    {"fault=empty", "an empty answer"},
    {"answer=5", "an answer of 5"},
};

// Clicks the first game card, once, when the page has loaded and is on screen: a page loaded in a window not
// shown yet waits for it. The card opens a new window, as a user's click does.
const char *const clickFirstGameScript = R"(<script>
(function () {
    var clicked = false;
    function clickFirstGame() {
        if (clicked || document.readyState !== 'complete' || document.visibilityState !== 'visible')
            return;
        var game = document.querySelector('a.game');
        if (!game)
            return;
        clicked = true;
        game.click();
    }
    window.addEventListener('load', clickFirstGame);
    document.addEventListener('visibilitychange', clickFirstGame);
})();
</script>
)";

} // namespace

QString fileLink(const char *folder, const std::string &file)
{
    return QLatin1String(folder) + QLatin1Char('/') +
           QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(file)));
}

QString left(const Catalogue &catalogue)
{
    static const char *const style = R"(
body { width: 177px; min-height: 100vh; background: linear-gradient(#263a5a, #17253b); color: #dfe6f0; }
.logo { padding: 16px 14px 12px; border-bottom: 1px solid #344b70; }
.logo b { display: block; font-size: 20px; color: #ffb74d; letter-spacing: 1px; }
.logo span { font-size: 12px; color: #9fb0c8; }
ul { list-style: none; margin: 8px 0; padding: 0; }
li a, .local a { display: block; padding: 8px 16px; color: #e8eef7; border-left: 3px solid transparent; }
li a:hover, .local a:hover { background: #30476b; border-left-color: #ffb74d; text-decoration: none; }
.local { margin-top: 6px; border-top: 1px solid #344b70; padding-top: 6px; }
.local a { color: #ffe0b2; font-weight: bold; }
.note { padding: 12px 16px; font-size: 11px; color: #8797ae; }
)";
    QString body = QStringLiteral("<div class=\"logo\"><b>Quillabrix</b><span>%1</span></div>\n<ul>\n")
                       .arg(text("小游戏乐园 Game portal"));
    body += QStringLiteral("<li><a href=\"main.htm\" target=\"_blank\">%1</a></li>\n").arg(text("首页 Home"));
    for (const Category &c : catalogue.categories())
        body += QStringLiteral("<li><a href=\"main.htm?cat=%1\" target=\"_blank\">%2</a></li>\n")
                    .arg(QString::fromStdString(c.key), c.label.toHtmlEscaped());
    body += QStringLiteral("</ul>\n<div class=\"local\"><a href=\"localgame.htm\" target=\"_blank\">%1</a></div>\n")
                .arg(text("我的游戏 My games"));
    body += QStringLiteral("<div class=\"note\">%1</div>\n").arg(text("点击游戏即可下载，下载后不联网也能玩。"));
    return page(QStringLiteral("Quillabrix"), style, body);
}

QString main(const Catalogue &catalogue, const std::string &category, bool clickFirstGame)
{
    QString heading = text("热门游戏 Featured games");
    QString cards;
    int count = 0;
    if (category == "faults") {
        heading = QStringLiteral("Fault links");
        cards = QStringLiteral("<div class=\"faults\">\n");
        for (const FaultLink &f : faultLinks)
            cards += QStringLiteral("<a href=\"game.asp?%1\" target=\"_blank\">%2</a>\n")
                         .arg(QString::fromLatin1(f.query).toHtmlEscaped(), QLatin1String(f.label));
        cards += QStringLiteral("</div>\n");
    } else {
        // The portal's pages show the real games; the test movies have a page of their own.
        const bool tests = category == Catalogue::testsCategory;
        if (tests)
            heading = QStringLiteral("Test movies");
        for (const Category &c : catalogue.categories()) {
            if (c.key == category)
                heading = c.label;
        }
        for (const Game &game : catalogue.games()) {
            if (game.testMovie != tests || (!tests && !category.empty() && game.category != category))
                continue;
            cards += gameCard(game, QStringLiteral("game.asp?id=%1").arg(game.id));
            ++count;
        }
        if (count == 0)
            cards = QStringLiteral("<div class=\"empty\">%1</div>\n").arg(text("这里还没有游戏。No games here yet."));
    }
    QString body = QStringLiteral("<div class=\"bar\"><h1>%1</h1><span>%2</span></div>\n"
                                  "<div class=\"grid\">\n%3</div>\n<div class=\"foot\">%4</div>\n")
                       .arg(heading.toHtmlEscaped(), text("共 %1 个游戏").arg(count), cards,
                            text("Quillabrix 小游戏乐园 &middot; 点击图片下载游戏"));
    if (clickFirstGame)
        body += QLatin1String(clickFirstGameScript);
    return page(heading, mainStyle, body);
}

QString site()
{
    static const char *const style = R"(
header { padding: 28px 40px; background: linear-gradient(90deg, #263a5a, #3d5a8a); color: #fff; }
header h1 { margin: 0; font-size: 26px; }
main { max-width: 720px; padding: 20px 40px; }
h2 { font-size: 16px; color: #c62828; }
)";
    const QString body = text(R"(<header><h1>Quillabrix Game</h1><p>官方网站 Official web site</p></header>
<main>
<h2>关于 About</h2>
<p>Quillabrix Game is a small game box for your desktop: pick a game in the portal, it is downloaded into your own
library and plays at once, also without a network.</p>
<h2>特色 Features</h2>
<ul><li>数百款免费小游戏 Hundreds of free small games</li><li>全屏播放 Full-screen play (F6)</li>
<li>本地游戏库 A local library of the games you played</li></ul>
</main>
)");
    return page(QStringLiteral("Quillabrix Game"), style, body);
}

QString localGame()
{
    static const char *const style = "main { padding: 40px; text-align: center; color: #5a6270; }";
    return page(text("我的游戏 My games"), style,
                text("<main><h2>我的游戏 My games</h2><p>Your games are in the game box's library.</p></main>\n"));
}

QString error(int status, const QString &detail)
{
    static const char *const style = "main { padding: 40px; } h1 { color: #c62828; font-size: 20px; }";
    const QString heading = status == 200   ? QStringLiteral("Quillabrix")
                            : status == 400 ? QStringLiteral("400 Bad Request")
                            : status == 404 ? QStringLiteral("404 Not Found")
                                            : QStringLiteral("%1 Server Error").arg(status);
    return page(heading, style,
                QStringLiteral("<main><h1>%1</h1><p>%2</p></main>\n").arg(heading, detail.toHtmlEscaped()));
}

} // namespace portal::pages
