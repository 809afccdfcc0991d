#include "workarea.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace platform {

namespace {

// primaryScreen() is only meaningful once a QGuiApplication exists; a plain
// QCoreApplication (or none) has no screens at all.
const QScreen *primaryScreen()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return QGuiApplication::primaryScreen();
}

// `value` within [low, high]; `low` wins when the range is empty. Worked in
// 64 bits so that extreme stored values cannot overflow on the way.
int bounded(int value, std::int64_t low, std::int64_t high)
{
    const std::int64_t result = std::max(low, std::min<std::int64_t>(value, high));
    return static_cast<int>(std::clamp<std::int64_t>(result, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// The largest size Qt gives a window.
constexpr int kLargestWindow = (1 << 24) - 1;

} // namespace

QRect desktopWorkArea()
{
    if (const QScreen *screen = primaryScreen())
        return screen->availableGeometry();
    constexpr int kUnbounded = std::numeric_limits<int>::max();
    return QRect(0, 0, kUnbounded, kUnbounded);
}

QRect virtualDesktop()
{
    if (const QScreen *screen = primaryScreen())
        return screen->virtualGeometry();
    return QRect();
}

QRect reachablePlacement(int left, int top, int width, int height, const QRect &desktop, const QSize &minimum)
{
    const QRect area = desktop.isEmpty() ? QRect(0, 0, kLargestWindow, kLargestWindow) : desktop;
    const std::int64_t areaLeft = area.x();
    const std::int64_t areaTop = area.y();
    const std::int64_t areaRight = areaLeft + area.width();  // one past the last column
    const std::int64_t areaBottom = areaTop + area.height(); // one past the last row

    const int w = std::max(bounded(width, 0, std::int64_t{area.width()} + 2 * kEdgeOverhang), minimum.width());
    const int h = std::max(bounded(height, 0, std::int64_t{area.height()} + 2 * kEdgeOverhang), minimum.height());
    const int x = bounded(left, areaLeft - kEdgeOverhang, areaRight - std::min(kReachableArea.width(), w));
    const int y = bounded(top, areaTop - kEdgeOverhang, areaBottom - std::min(kReachableArea.height(), h));
    return QRect(x, y, w, h);
}

} // namespace platform
