#pragma once

#include <QString>

class QDate;

namespace platform {

// `date` in the system's short date format, as the player's desktop
// writes dates.
QString shortDate(const QDate &date);

// The separator of the system's short date format (the first character of
// its pattern that is not a letter), "/" when the pattern has none.
QChar shortDateSeparator();

// `date` as month/day/two-digit year without leading zeros, joined by
// `separator`: 12/8/26 for 8 December 2026 with "/".
QString monthDayYear(const QDate &date, QChar separator);

} // namespace platform
