#pragma once

// What the benchmarks that run the whole window and its players share (they link the shell, the player and
// the SWF writer; the rest of bench/common does not need them).
#include "benchtools.h"
#include "pixelcolours.h"
#include "player/flashplayer.h"
#include "player/playerprofile.h"
#include "procstats.h"
#include "shell/form1.h"
#include "swfwriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QSize>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

// What has to be settled before the QApplication is made: the web engine's environment, its shared GL
// contexts and the players' URL scheme.
inline void prepareWebApplication()
{
    procstats::prepareEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    PlayerProfile::registerScheme();
}

// Writes a movie showing colours in turn, twelve frames a second, padded to padTo bytes when that is larger;
// its size in bytes, or -1 when the file could not be written.
inline qint64 writeColourMovie(const QString &path, const std::vector<uint32_t> &colours, std::size_t padTo = 0)
{
    swf::MovieSpec spec;
    spec.frameColors = colours;
    spec.frameRate = 12;
    spec.padTo = padTo;
    const std::string bytes = swf::writeSolidColourMovie(spec);
    const qint64 size = qint64(bytes.size());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes.data(), size) == size ? size : -1;
}

// Whether a colour read back from a player is one of the movie's colours (0xRRGGBB).
inline bool isOneOf(const QColor &colour, const std::vector<uint32_t> &colours)
{
    return std::any_of(colours.begin(), colours.end(),
                       [&](uint32_t rgb) { return near(colour, QColor(QRgb(0xff000000 | rgb))); });
}

// Starts the window and waits until it is shown with its banner painted, as a user sees it start; false when
// that did not happen within timeoutMs.
inline bool startGameBox(Form1 &window)
{
    QObject scope; // the flags below live only as long as this wait
    bool shown = false;
    bool bannerPainted = false;
    QObject::connect(&window, &Form1::startupFinished, &scope, [&] { shown = true; });
    QObject::connect(window.findChild<FlashPlayer *>(QStringLiteral("gg_movie")), &FlashPlayer::movieStarted, &scope,
                     [&] { bannerPainted = true; });
    QElapsedTimer clock;
    clock.start();
    window.Form_Load();
    return waitFor(
               clock, [&] { return shown && bannerPainted; }, 0) >= 0;
}

// The profile a player's page runs in: a player made in it has its page ready.
inline PlayerProfile *profileOf(FlashPlayer *player)
{
    return qobject_cast<PlayerProfile *>(player->view()->page()->profile()->parent());
}

// A player of profile, not shown yet, sized and coloured as the full-screen window's: black, the movie stretched
// over it.
inline FlashPlayer *newPlayer(PlayerProfile *profile, const QSize &size)
{
    auto *player = new FlashPlayer(profile);
    player->setBGColor(QStringLiteral("000000"));
    player->setScaleMode(FlashPlayer::ExactFit);
    player->resize(size);
    return player;
}

} // namespace bench
