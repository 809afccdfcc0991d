#include "linescore.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <sstream>
#include <string>

namespace {

// "5C" → 5 of clubs; ranks A 2 … 10 J Q K, suits C D H S.
int code(const std::string &card)
{
    const std::string rank = card.substr(0, card.size() - 1);
    const char suit = card.back();
    static const std::string ranks[] = {"A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"};
    static const std::string suits = "CDHS";
    int r = 0;
    while (ranks[r] != rank)
        ++r;
    return static_cast<int>(suits.find(suit)) * 13 + r + 1;
}

scoring::LineBreakdown score(const std::string &line)
{
    std::istringstream in(line);
    std::array<int, 5> codes{};
    for (int &c : codes) {
        std::string card;
        in >> card;
        c = code(card);
    }
    const int starterSuit = (codes[4] - 1) / 13 + 1;
    return scoring::scoreHand(scoring::Hand::fromCodes(codes), starterSuit);
}

struct Row {
    const char *name;
    const char *line;  // four cards, then the starter
    std::array<int, 5> expected;  // nob, sets, runs, flush, fifteens
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.line;
}

class LineScore : public ::testing::TestWithParam<Row> {};

TEST_P(LineScore, Categories)
{
    const Row &row = GetParam();
    const auto b = score(row.line);
    EXPECT_EQ(b.points, row.expected) << row.line;
    int sum = 0;
    for (int p : row.expected)
        sum += p;
    EXPECT_EQ(b.total(), sum);
}

INSTANTIATE_TEST_SUITE_P(
    Hands, LineScore,
    ::testing::Values(
        Row{"TwentyNine", "5C 5D 5S JH 5H", {1, 12, 0, 0, 16}},
        Row{"PairOutsideRunOfThree", "AC 2D 3H 7S 7C", {0, 2, 3, 0, 2}},
        Row{"JackStarterGivesNob", "2C 4D 6H 8S JC", {1, 0, 0, 0, 0}},
        Row{"FourCardFlushOffSuitStarter", "2H 4H 9H QH 7S", {0, 0, 0, 4, 2}},
        Row{"ThreePlusStarterFlushWorthNothing", "2H 4H 9S QH 7H", {0, 0, 0, 0, 2}},
        Row{"AceLowNoWrap", "QC KD AH 2S 3C", {0, 0, 3, 0, 4}},
        Row{"TenToKingAceDoesNotJoin", "10C JD QH KS AC", {0, 0, 4, 0, 0}},
        Row{"ThreeOfAKindInsideRun", "3C 4D 5H 5S 5C", {0, 6, 9, 0, 2}},
        Row{"DoubleDoubleRun", "3C 3D 4H 4S 5C", {0, 4, 12, 0, 4}},
        Row{"RunOfFourDoubled", "3C 4D 5H 6S 6C", {0, 2, 8, 0, 6}},
        Row{"RunOfFourFifthCardOutside", "3C 4D 5H 6S 9C", {0, 0, 4, 0, 4}},
        Row{"DoubleRunOfCourtCards", "KC KD QH JS 5C", {0, 2, 6, 0, 8}},
        Row{"FiveCardFlushAndRun", "2H 3H 4H 5H 6H", {0, 0, 5, 5, 4}},
        Row{"QueenKingAceIsNoRun", "QC KD AH 7S 9C", {0, 0, 0, 0, 0}},
        Row{"RunOfFiveFromTen", "9C 10D JH QS KC", {0, 0, 5, 0, 0}},
        Row{"DoubleRunOfThreePairInside", "6C 7D 8H 8S KC", {0, 2, 6, 0, 4}},
        Row{"PairOfNinesOutsideRun", "AC 2D 3H 9S 9C", {0, 2, 3, 0, 4}},
        Row{"FourOfAKind", "5C 5D 5H 5S 10C", {0, 12, 0, 0, 16}},
        Row{"JackOfOtherSuitNoNob", "JD 2C 3C 9H 8C", {0, 0, 0, 0, 2}},
        Row{"FourFlushMatchingStarterIsFive", "AC 3C 5C 7C 9C", {0, 0, 0, 5, 4}}),
    [](const ::testing::TestParamInfo<Row> &row) { return std::string(row.param.name); });

TEST(LineScore, NobTakesTheStarterSuitGiven)
{
    // The nob rule reads the suit recorded when the starter was turned,
    // not the fifth card's own suit.
    const std::array<int, 5> codes = {11 /* JC */, 15, 30, 45, 16 /* 3D starter */};
    const auto hand = scoring::Hand::fromCodes(codes);
    EXPECT_EQ(scoring::checkfornob(hand, 1), 1);
    EXPECT_EQ(scoring::checkfornob(hand, 2), 0);
}

} // namespace
