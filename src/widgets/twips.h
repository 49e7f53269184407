#pragma once

#include <QWidget>
#include <QtMath>

// Design geometry is kept in twips, the window's unit: 15 twips are one logical pixel.
namespace twips {

constexpr double perPixel = 15.0;

inline int toPixels(double twips)
{
    return qRound(twips / perPixel);
}

// Positions are truncated, so that a move of 10 twips (less than a pixel) still moves the control.
inline int positionToPixels(double twips)
{
    return qFloor(twips / perPixel + 1e-9);
}

inline double fromPixels(int pixels)
{
    return pixels * perPixel;
}

inline void place(QWidget *widget, double left, double top, double width, double height)
{
    widget->setGeometry(positionToPixels(left), positionToPixels(top), toPixels(width), toPixels(height));
}

} // namespace twips
