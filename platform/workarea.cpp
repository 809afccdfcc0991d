#include "workarea.h"

#include <QGuiApplication>
#include <QScreen>

#include <limits>

namespace platform {

QRect desktopWorkArea()
{
    // primaryScreen() is only meaningful once a QGuiApplication exists; a
    // plain QCoreApplication (or none) has no screens at all.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return screen->availableGeometry();
    }
    constexpr int kUnbounded = std::numeric_limits<int>::max();
    return QRect(0, 0, kUnbounded, kUnbounded);
}

} // namespace platform
