#include "shortdate.h"

#include <QDate>

#include <gtest/gtest.h>

TEST(DateSeparator, FirstMarkThatIsNeitherLetterNorBlank)
{
    const struct {
        const char *pattern;
        char separator;
    } rows[] = {
        {"M/d/yy", '/'}, {"dd.MM.yy", '.'}, {"dd-MM-yyyy", '-'}, {"d. M. yyyy", '.'},
        {"d MMM yyyy", '/'}, {"", '/'},
    };
    for (const auto &row : rows)
        EXPECT_EQ(platform::dateSeparatorOf(QString::fromLatin1(row.pattern)), QLatin1Char(row.separator)) << row.pattern;
}

TEST(MonthDayYear, NoLeadingZerosAndTwoYearDigits)
{
    const struct {
        QDate date;
        QChar separator;
        const char *text;
    } rows[] = {
        {QDate(2026, 12, 8), '/', "12/8/26"},
        {QDate(2007, 1, 5), '/', "1/5/07"},
        {QDate(2007, 1, 5), '.', "1.5.07"},
        {QDate(2000, 10, 31), '-', "10-31-00"},
        {QDate(1999, 2, 3), '/', "2/3/99"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(platform::monthDayYear(row.date, row.separator), QString::fromLatin1(row.text)) << row.text;
}
