#pragma once

#include <QRect>
#include <QSize>

namespace platform {

// The part of the primary screen that windows may use: the screen minus
// task bars and docks, in screen coordinates.
// Without a GUI application or a screen there is nothing to measure; the
// result is then a rectangle no window can exceed (0, 0, INT_MAX, INT_MAX),
// so that code shrinking windows that do not fit never acts on a guess.
QRect desktopWorkArea();

// The whole desktop: the rectangle that holds every screen beside the
// primary one, in screen coordinates. An empty rectangle without a GUI
// application or a screen.
QRect virtualDesktop();

// How far a window's frame may hang over the desktop's edges, as the frame
// of a maximised window does on some desktops.
inline constexpr int kEdgeOverhang = 16;
// The window's top-left area that stays on the desktop: its title bar and
// its menu bar with the first menus, so the player can drag it back or
// choose "Reset Screen Location".
inline constexpr QSize kReachableArea(200, 80);

// The outer bounds (left, top, width, height) a window asked for, moved
// and sized just enough to be a normal, reachable window on `desktop`:
//  - the size is at most the desktop's plus kEdgeOverhang on each side,
//    and at least `minimum` (which wins on a desktop smaller than it);
//  - the left and top lie at most kEdgeOverhang before the desktop's edge,
//    and far enough from its right and bottom edges that kReachableArea
//    of the window (or all of it, when smaller) lies on the desktop.
// A placement that already meets these comes back unchanged. Any int is
// accepted. An empty `desktop` (nothing measured) counts as the largest a
// window can be, at (0, 0).
QRect reachablePlacement(int left, int top, int width, int height, const QRect &desktop, const QSize &minimum);

} // namespace platform
