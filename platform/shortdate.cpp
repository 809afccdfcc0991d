#include "shortdate.h"

#include <QDate>
#include <QLocale>

namespace platform {

QString shortDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

} // namespace platform
