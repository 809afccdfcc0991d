#include "settingsvalue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

constexpr int kFallback = 706;

struct IntRow {
    const char *name;
    std::string stored;
    int expected;
};

void PrintTo(const IntRow &row, std::ostream *out) { *out << row.name; }

const IntRow kIntRows[] = {
    {"decimal", "571", 571},
    {"negative decimal", "-5", -5},
    {"plus sign", "+42", 42},
    {"leading zeros stay decimal", "0012", 12},
    {"zero", "0", 0},
    {"lower-case hex prefix", "0x300", 768},
    {"upper-case hex prefix", "0X2C0", 704},
    {"hex digits in either case", "0xaBcD", 0xABCD},
    {"one hex digit", "0x1", 1},
    {"largest int", "2147483647", 2147483647},
    {"smallest int", "-2147483648", -2147483647 - 1},
    {"largest int in hex", "0x7FFFFFFF", 2147483647},
    {"letters", "abc", kFallback},
    {"empty", "", kFallback},
    {"prefix alone is not hex", "0x", kFallback},
    {"prefix without digits", "0xZZ", kFallback},
    {"hex with trailing junk", "0x1G", kFallback},
    {"hex with a sign", "0x-5", kFallback},
    {"decimal with trailing junk", "12abc", kFallback},
    {"decimal with a fraction", "3.5", kFallback},
    {"hex digits without prefix", "2C0", kFallback},
    {"sign alone", "-", kFallback},
    {"plus alone", "+", kFallback},
    {"two signs", "+-5", kFallback},
    {"double minus", "--5", kFallback},
    {"leading blank", " 5", kFallback},
    {"trailing blank", "5 ", kFallback},
    {"just above int", "2147483648", kFallback},
    {"just below int", "-2147483649", kFallback},
    {"hex above int", "0x80000000", kFallback},
    {"hex beyond 32 bits", "0x100000000", kFallback},
    {"far too long", "99999999999999999999", kFallback},
    {"prefix with a blank", "0x 5", kFallback},
    {"minus before hex prefix", "-0x10", kFallback},
};

class SettingIntTest : public ::testing::TestWithParam<IntRow> {};

TEST_P(SettingIntTest, GivesNumberOrFallback)
{
    const IntRow &row = GetParam();
    EXPECT_EQ(platform::parseSettingInt(row.stored, kFallback), row.expected)
        << "stored \"" << row.stored << "\"";
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingIntTest, ::testing::ValuesIn(kIntRows),
                         [](const auto &row) {
                             std::string name;
                             for (const char c : std::string(row.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(SettingInt, FallbackIsReturnedAsGiven)
{
    // The fallback must come back untouched, whatever its sign.
    EXPECT_EQ(platform::parseSettingInt("x", -3), -3);
    EXPECT_EQ(platform::parseSettingInt("x", 3), 3);
}

} // namespace
