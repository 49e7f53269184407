#pragma once

#include <QFrame>

#include <optional>

class QLabel;

// The download panel `download_main`: the game being fetched, its picture and the progress of its movie.
class DownloadPanel : public QFrame
{
    Q_OBJECT

public:
    explicit DownloadPanel(QWidget *parent = nullptr);

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

private:
    void setFillTwips(double twips);

    double m_fillTwips = 30;
};
