#pragma once

#include <QString>

class QDate;

namespace platform {

// `date` in the system's short date format, as the player's desktop
// writes dates.
QString shortDate(const QDate &date);

} // namespace platform
