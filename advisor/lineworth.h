#pragma once

// What a line of the square is worth to the advisor: the expected final
// score of a line (with the starter, as the game scores it) from the state
// it is in now.
//
// A line's state is the ranks of its cards (as a multiset) and whether
// they still share one suit. A complete line's worth is exact: its score averaged over every
// unseen card as the starter. An open line's worth is worked out as if its
// open places and the starter took random ranks, with the chance of a
// flush weighted up: the player steers cards of a suit into a line that can
// still make one, which random filling does not see.

#include <array>
#include <cstdint>

namespace advisor {

constexpr int kLineCards = 4;
constexpr int kRanks = 13;           // rank values 0 (King) … 12 (Queen)
constexpr int kOpenStates = 560;     // multisets of 0 … 3 ranks
constexpr int kFullStates = 1820;    // multisets of 4 ranks
constexpr int kStates = kOpenStates + kFullStates;

// Dense number of a multiset of `count` (0 … 4) rank values given in any
// order: open multisets take 0 … 559, full ones 560 … 2379.
int multisetIndex(const int *ranks, int count);

// The cards a player has not seen yet, counted by rank value, by suit and
// (for the nob) the Jacks by suit.
struct Unseen {
    std::array<int, kRanks> ranks{};
    std::array<int, 5> suits{};   // index 1 … 4
    std::array<int, 5> jacks{};   // index 1 … 4
    int total = 0;

    static Unseen fullDeck();
    void remove(int code);
    void add(int code);
};

// The multiset of an open state (0 … 559) with one more rank.
int addRank(int openState, int rank);

// Expected score of a complete line with the starter drawn from `unseen`;
// 0 when nothing is unseen. The line is its four card codes, or its full
// multiset (560 … 2379), the suit its four cards share (0 if none) and the
// suits of its Jacks (bit s for suit s).
double completeWorth(const std::array<int, kLineCards> &codes, const Unseen &unseen);
double completeWorth(int fullState, int flushSuit, unsigned jackSuits, const Unseen &unseen);

// Rank points (pairs, runs, fifteens) of four ranks with a starter of rank
// `starterRank`, as the game scores them.
int rankPoints(int fullState, int starterRank);

class LineWorth {
public:
    // Worth of an open line: `state` 0 … 559, `flushable` when its cards
    // share a suit (an empty line does).
    float open(int state, bool flushable) const { return m_open[index(state, flushable)]; }
    float &open(int state, bool flushable) { return m_open[index(state, flushable)]; }

    // The random-fill worths with the flush chance weighted by `flushWeight`.
    static LineWorth randomFill(double flushWeight);
    // The worths the advisor plays by (built once, shared by all threads).
    static const LineWorth &standard();

private:
    static int index(int state, bool flushable) { return state * 2 + (flushable ? 1 : 0); }
    std::array<float, kOpenStates * 2> m_open{};
};

} // namespace advisor
