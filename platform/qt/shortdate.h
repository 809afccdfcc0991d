#pragma once

#include <QString>

class QDate;

namespace platform {

// `date` in the system's short date format, as the player's desktop
// writes dates.
QString shortDate(const QDate &date);

// The separator of the system's short date format: the first character of
// its pattern that is neither a letter nor a blank; "/" when there is none
// (as with no regional settings at all, whose pattern "d MMM yyyy" only
// has blanks).
QChar shortDateSeparator();
// The same rule for any date pattern ("M/d/yy" → "/", "dd.MM.yy" → ".").
QChar dateSeparatorOf(const QString &pattern);

// `date` as month/day/two-digit year without leading zeros, joined by
// `separator`: 12/8/26 for 8 December 2026 with "/".
QString monthDayYear(const QDate &date, QChar separator);

} // namespace platform
