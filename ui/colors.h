#pragma once

#include <QColor>

// The one colour scheme of every window.
namespace pegcolors {

inline QColor background() { return QColor(210, 197, 132); }  // window background
inline QColor maroon() { return QColor(128, 0, 0); }           // accents, captions
inline QColor shadowGrey() { return QColor(128, 128, 128); }   // shadow half of a heading
inline QColor white() { return QColor(255, 255, 255); }

} // namespace pegcolors
