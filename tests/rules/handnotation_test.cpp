#include "handnotation.h"

#include <gtest/gtest.h>

namespace {

TEST(HandNotation, CardsInEverySpelling)
{
    struct Row {
        const char *text;
        int code;
    };
    const Row rows[] = {{"AC", 1},  {"ac", 1},  {"10C", 10}, {"TC", 10}, {"tc", 10}, {"JC", 11}, {"KC", 13},
                        {"AD", 14}, {"5h", 31}, {"qS", 51}, {"KS", 52}, {"2d", 15}};
    for (const Row &row : rows) {
        const auto code = notation::parseCard(row.text);
        ASSERT_TRUE(code.has_value()) << row.text;
        EXPECT_EQ(*code, row.code) << row.text;
        EXPECT_EQ(*notation::parseCard(notation::cardName(row.code)), row.code) << row.text;
    }
}

TEST(HandNotation, NotCards)
{
    for (const char *text : {"", "C", "1C", "11C", "0S", "ZC", "5X", "10", "5CC", "100C", "A"})
        EXPECT_FALSE(notation::parseCard(text).has_value()) << text;
}

TEST(HandNotation, HandErrorsNameTheProblem)
{
    struct Row {
        const char *line;
        const char *error;
    };
    const Row rows[] = {
        {"5C 5D 5S JH 5H", ""},
        {"  5c\t5d 5s jh 5h  ", ""},
        {"5C 5D 5S JH", "expected 5 cards (4 and the starter), got 4"},
        {"5C 5D 5S JH 5H 6H", "expected 5 cards (4 and the starter), got 6"},
        {"", "expected 5 cards (4 and the starter), got 0"},
        {"5C 5D ZZ JH 5H", "unknown card 'ZZ'"},
        {"5C 5D 5S JH 5c", "5C appears twice"},
        {"TH 10H 2C 3C 4C", "10H appears twice"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(notation::parseHand(row.line).error, row.error) << row.line;
}

TEST(HandNotation, DescribeUsesTheLastCardAsStarter)
{
    EXPECT_EQ(notation::describeScore(notation::parseHand("5C 5D 5S JH 5H").codes),
              "nob 1 sets 12 runs 0 flush 0 fifteens 16 total 29");
    // The same cards with the Jack's suit no longer the starter's.
    EXPECT_EQ(notation::describeScore(notation::parseHand("5C 5D 5H JH 5S").codes),
              "nob 0 sets 12 runs 0 flush 0 fifteens 16 total 28");
}

} // namespace
