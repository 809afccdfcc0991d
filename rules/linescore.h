#pragma once

#include <array>

// Scoring of one line of the square: its four cards and the starter, as a
// five-card cribbage hand.
namespace scoring {

constexpr int kHandSize = 5;  // four cards of the line, then the starter

// Categories in scoring order; also the order of a line's breakdown.
enum Category { Nob = 0, Sets, Runs, Flush, Fifteens, kCategoryCount };

// The hand being scored: card codes (position 4 = the starter) and their
// rank values (code mod 13; King = 0).
struct Hand {
    std::array<int, kHandSize> codes{};
    std::array<int, kHandSize> ranks{};

    static Hand fromCodes(const std::array<int, kHandSize> &codes);
};

// Points of one line per category, and their sum.
struct LineBreakdown {
    std::array<int, kCategoryCount> points{};
    int total() const;
};

// The value a rank counts towards fifteen: court cards 10, Ace 1.
int countingValue(int rank);

// 1 for the first Jack whose suit is `starterSuit` (the starter itself
// included, so a Jack starter gives every line its nob), else 0.
int checkfornob(const Hand &hand, int starterSuit);
// 2 for every pair of cards of equal rank.
int checkforpairs(const Hand &hand);
// Runs (Ace low, no wrap). A run's multiples count only ranks inside the
// run: a pair outside a run of three does not double it.
int checkforstraight(const Hand &hand);
// 5 when all five share a suit; 4 when the line's four do and the starter
// does not; otherwise 0.
int checkforflush(const Hand &hand);
// 2 for every combination of two or more cards whose counting values
// (court cards 10) add up to 15.
int checkfor15(const Hand &hand);

// All five categories in order nob, sets, runs, flush, fifteens.
LineBreakdown scoreHand(const Hand &hand, int starterSuit);

} // namespace scoring
