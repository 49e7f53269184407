#include "widgets/picturebutton.h"

#include <QMouseEvent>
#include <QPixmap>

PictureButton::PictureButton(const QString &name, const QString &imagePath, const QString &toolTip, QWidget *parent)
    : QLabel(parent)
{
    setObjectName(name);
    setPixmap(QPixmap(imagePath));
    setToolTip(toolTip);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed();
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseReleased();
    // The button may have moved under the pointer (the rewind button does), so test against its new place.
    if (event->button() == Qt::LeftButton && rect().contains(mapFromGlobal(event->globalPosition().toPoint())))
        emit clicked();
    event->accept();
}

void PictureButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    event->accept();
}
