#pragma once

#include <QLabel>

// A picture that acts as a button: no focus, no keyboard, a click when the mouse is released over it.
class PictureButton : public QLabel
{
    Q_OBJECT

public:
    PictureButton(const QString &name, const QString &imagePath, const QString &toolTip, QWidget *parent = nullptr);

signals:
    void clicked();
    void mousePressed();
    void mouseReleased();
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
