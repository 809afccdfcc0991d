#include "cards.h"
#include "deck.h"
#include "lcgrandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct CardRow {
    int code;
    int rank;
    int suit;
};

TEST(Cards, RankAndSuitOfCodes)
{
    const CardRow rows[] = {
        {1, 1, 1},   {10, 10, 1}, {11, 11, 1}, {12, 12, 1}, {13, 0, 1}, {14, 1, 2},
        {26, 0, 2},  {27, 1, 3},  {39, 0, 3},  {40, 1, 4},  {50, 11, 4}, {52, 0, 4},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(cards::rankValue(row.code), row.rank);
        EXPECT_EQ(cards::getsuit(row.code), row.suit);
    }
}

TEST(Cards, NonCardsHaveNoSuit)
{
    for (int code : {0, 53, -1, 1000})
        EXPECT_EQ(cards::getsuit(code), 0) << code;
}

TEST(LcgRandom, StepsAndScalesToTheUpperWord)
{
    // seed 0 → 1: 1 × 52 >> 32 = 0; seed 1 → 134775814: 134775814 × 52 >> 32 = 1.
    LcgRandom r(0);
    EXPECT_EQ(r.draw(52), 0u);
    EXPECT_EQ(r.seed(), 1u);
    EXPECT_EQ(r.draw(52), 1u);
    EXPECT_EQ(r.seed(), 134775814u);
    // The step wraps modulo 2^32.
    LcgRandom wrap(0xFFFFFFFFu);
    wrap.draw(1);
    EXPECT_EQ(wrap.seed(), static_cast<std::uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
}

// Deck orders worked out from the generator rule with a separate model of
// the deal (seed × 134775813 + 1, position = upper word of seed × 52, + 1,
// redrawn while taken).
struct GoldenDeck {
    std::uint32_t seed;
    std::vector<int> order;
};

TEST(Deck, GoldenOrdersForFixedSeeds)
{
    const GoldenDeck rows[] = {
        {0, {1,  2,  47, 13, 11, 41, 50, 24, 8,  38, 4,  43, 21, 39, 5,  15, 7,  18,
             49, 9,  46, 45, 10, 52, 12, 23, 28, 51, 31, 35, 29, 40, 37, 30, 6,  32,
             19, 20, 36, 44, 17, 42, 22, 14, 3,  25, 27, 16, 48, 33, 26, 34}},
        {12345, {42, 8,  19, 25, 3,  47, 27, 41, 49, 18, 32, 34, 12, 37, 23, 2,  11, 6,
                 31, 22, 1,  45, 7,  52, 24, 51, 14, 29, 4,  35, 40, 43, 5,  39, 30, 38,
                 20, 21, 46, 26, 16, 13, 33, 15, 28, 44, 17, 50, 9,  36, 10, 48}},
        {4294967295u, {43, 6,  36, 21, 40, 25, 4,  27, 49, 28, 2,  16, 29, 34, 50, 12, 9,  51,
                       44, 20, 38, 39, 22, 18, 7,  41, 37, 3,  17, 24, 42, 52, 13, 46, 15, 11,
                       45, 48, 33, 35, 10, 23, 14, 30, 31, 5,  26, 32, 47, 8,  1,  19}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.seed);
        LcgRandom random(row.seed);
        Deck deck;
        deck.shuffle(random);
        for (int position = 1; position <= 52; ++position)
            ASSERT_EQ(deck.at(position), row.order[position - 1]) << "position " << position;
        EXPECT_EQ(deck.dealPosition(), 1);
    }
}

TEST(Deck, EveryShuffleIsAPermutation)
{
    LcgRandom random(987654321u);
    Deck deck;
    for (int game = 0; game < 500; ++game) {
        deck.shuffle(random);
        std::vector<int> seen;
        for (int position = 1; position <= 52; ++position)
            seen.push_back(deck.at(position));
        std::sort(seen.begin(), seen.end());
        for (int code = 1; code <= 52; ++code)
            ASSERT_EQ(seen[code - 1], code) << "game " << game;
    }
}

TEST(Deck, ConsecutiveShufflesContinueOneSequence)
{
    LcgRandom a(77);
    Deck first;
    first.shuffle(a);
    Deck second;
    second.shuffle(a);
    // Re-seeding with the same value repeats the first deal, not the second.
    LcgRandom b(77);
    Deck again;
    again.shuffle(b);
    bool sameAsFirst = true;
    bool sameAsSecond = true;
    for (int p = 1; p <= 52; ++p) {
        sameAsFirst = sameAsFirst && again.at(p) == first.at(p);
        sameAsSecond = sameAsSecond && again.at(p) == second.at(p);
    }
    EXPECT_TRUE(sameAsFirst);
    EXPECT_FALSE(sameAsSecond);
}

TEST(Deck, PositionsOutsideTheDeckHoldNoCard)
{
    LcgRandom random(5);
    Deck deck;
    EXPECT_EQ(deck.at(1), 0);  // before any shuffle
    deck.shuffle(random);
    EXPECT_EQ(deck.at(0), 0);
    EXPECT_EQ(deck.at(53), 0);
}

} // namespace
