#pragma once

// Rounds played by a placement strategy on the game's own deals, and the
// figures pegbot reports about them.

#include "advisor.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bot {

enum class Strategy { Random, Greedy, Advisor };

const char *strategyName(Strategy s);
// The strategy of that name ("random", "greedy", "advisor"); false if none.
bool parseStrategy(const std::string &name, Strategy &s);

// A seed per round and decision, spread so neighbouring rounds do not get
// related sequences.
std::uint32_t mix(std::uint32_t seed, std::uint64_t a, std::uint64_t b);

// One round's cards in dealing order: 16 for the board, then the starter.
using Deal = std::array<int, 17>;

// The deals of `rounds` successive rounds from `seed`: the game's own
// generator seeded once and shuffling the deck before each round, so the
// first deal is what the game deals first for that seed.
std::vector<Deal> dealsFrom(std::uint32_t seed, long rounds);

struct RoundResult {
    int score = 0;
    std::array<int, 16> cells{};  // where each card of the deal went

    std::array<double, 16> decisionMs{};
};

// Plays one round under `strategy`; `seed` drives its choices (and only
// its choices: the deal is fixed).
RoundResult playRound(const Deal &deal, Strategy strategy, std::uint32_t seed, const advisor::Effort &effort = {});

struct Summary {
    Strategy strategy = Strategy::Random;
    long rounds = 0;
    double mean = 0.0;
    double ci95 = 0.0;        // half-width of the 95 % interval of the mean
    double clearRate = 0.0;   // share of rounds of 55 or more
    long games = 0;           // games that ended (a round below 55)
    double gameMean = 0.0;    // mean game score (rounds chained while 55 or more)
    double decisionMedianMs = 0.0;
    double decisionWorstMs = 0.0;
};

// Plays every deal under `strategy` on `threads` threads. The figures do
// not depend on the number of threads (timings aside).
Summary playAll(const std::vector<Deal> &deals, Strategy strategy, std::uint32_t seed, int threads,
                const advisor::Effort &effort = {});

} // namespace bot
