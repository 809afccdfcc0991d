#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QWidget>

#include <functional>

// Pixel helpers for the control tests: a tile whose every pixel is
// different, and widgets grabbed at one device pixel per unit.
namespace pixels {

// A tile where the colour encodes the position, so a misplaced tile or a
// wrong offset shows up as a colour mismatch.
inline QColor patternAt(int x, int y)
{
    return QColor(40 + x * 2, 40 + y * 2, (x * 7 + y * 13) % 256);
}

inline QPixmap patternTile(int w = 100, int h = 100)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelColor(x, y, patternAt(x, y));
    return QPixmap::fromImage(image);
}

inline QImage grab(QWidget *widget, const QRect &area = QRect(QPoint(0, 0), QSize(-1, -1)))
{
    return widget->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels for which `ink` holds.
inline QRect inkBox(const QImage &image, const std::function<bool(QColor)> &ink)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace pixels
