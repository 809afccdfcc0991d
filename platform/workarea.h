#pragma once

#include <QRect>

namespace platform {

// The part of the primary screen that windows may use: the screen minus
// task bars and docks, in screen coordinates.
// Without a GUI application or a screen there is nothing to measure; the
// result is then a rectangle no window can exceed (0, 0, INT_MAX, INT_MAX),
// so that code shrinking windows that do not fit never acts on a guess.
QRect desktopWorkArea();

} // namespace platform
