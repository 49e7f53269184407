#pragma once

#include <QFrame>

#include <optional>

class QImage;
class QLabel;
class QPushButton;
struct GameDetails;

// The download panel `download_main`: the game being fetched, its picture and the progress of its movie.
class DownloadPanel : public QFrame
{
    Q_OBJECT

public:
    explicit DownloadPanel(QWidget *parent = nullptr);

    // A new game is coming: its title and description, no picture yet, the fill back at its start and
    // "Connecting ..." until the first bytes arrive.
    void showGame(const GameDetails &game);
    // The game's picture, once loaded; a null image leaves the place empty.
    void showPicture(const QImage &image);
    // The box the picture is shown in, in device pixels: no picture need be decoded larger.
    QSize pictureSize() const;
    // The movie did not arrive.
    void showFailure();
    // The user gave the game up in the downloads list.
    void showCancelled();

    // The fill back at its starting width (30 twips).
    void resetFill();
    // Moves the fill and the status text for `written` bytes of `announced`; both stay as they are when
    // nothing was announced.
    void showProgress(qint64 written, std::optional<qint64> announced);

    static QString progressText(qint64 written, qint64 announced);
    // Rounds to the nearest whole number, halves to the even neighbour.
    static qint64 roundHalfEven(double value);

    double fillWidthTwips() const { return m_fillTwips; }
    double trackWidthTwips() const;

    QLabel *Label1;
    QLabel *gamename;
    QLabel *s_bg;
    QLabel *s_color;
    QLabel *lblSpeed;
    QLabel *loadpic;
    QLabel *gamedec;
    QPushButton *b_list; // opens the downloads list

signals:
    void listRequested();

private:
    void setFillTwips(double twips);

    double m_fillTwips = 30;
};
