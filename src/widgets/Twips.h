#pragma once

#include <QRect>
#include <QSize>
#include <QtMath>

class QWidget;

// Layouts are given in twips: 1 twip is 1/15 device-independent pixel at 96 dpi.
namespace Twips {

constexpr int TwipsPerPixel = 15;

inline int toPixels(int twips)
{
    return qRound(twips / double(TwipsPerPixel));
}

inline QRect rect(int left, int top, int width, int height)
{
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

inline QSize size(int width, int height)
{
    return {toPixels(width), toPixels(height)};
}

// Places a control at its twips position inside its window's client area.
void place(QWidget* control, int left, int top, int width, int height);

} // namespace Twips
