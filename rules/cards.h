#pragma once

// Card codes: 0 = no card; 1–13 clubs, 14–26 diamonds, 27–39 hearts,
// 40–52 spades, each block Ace, 2 … 10, Jack, Queen, King. The code is also
// the index of the card's picture (picture 0 is the card back).

namespace cards {

constexpr int kNoCard = 0;
constexpr int kCardCount = 52;
constexpr int kRanksPerSuit = 13;
constexpr int kJack = 11;  // rank value of a Jack
constexpr int kKing = 0;   // rank value of a King (code mod 13)

// Suit number 1 (clubs) … 4 (spades) of a card code; 0 for any value that
// is not a card code (0 included).
constexpr int getsuit(int code)
{
    if (code < 1 || code > kCardCount)
        return 0;
    return (code - 1) / kRanksPerSuit + 1;
}

// Rank value used by scoring: code mod 13, so Ace = 1, 2 … 10, Jack = 11,
// Queen = 12 and King = 0.
constexpr int rankValue(int code)
{
    return code % kRanksPerSuit;
}

// Place of the rank in Ace, 2, …, 10, Jack, Queen, King order (0 … 12);
// used to draw and name a card.
constexpr int rankIndex(int code)
{
    return (code - 1) % kRanksPerSuit;
}

} // namespace cards
