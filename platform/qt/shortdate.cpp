#include "shortdate.h"

#include <QDate>
#include <QLocale>

namespace platform {

QString shortDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QChar shortDateSeparator()
{
    return dateSeparatorOf(QLocale::system().dateFormat(QLocale::ShortFormat));
}

QChar dateSeparatorOf(const QString &pattern)
{
    for (QChar c : pattern) {
        if (!c.isLetter() && !c.isSpace())
            return c;
    }
    return QLatin1Char('/');
}

QString monthDayYear(const QDate &date, QChar separator)
{
    return QStringLiteral("%1%2%3%2%4")
        .arg(date.month())
        .arg(separator)
        .arg(date.day())
        .arg(date.year() % 100, 2, 10, QLatin1Char('0'));
}

} // namespace platform
