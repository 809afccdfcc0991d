#pragma once

// Review of a finished round: what each placement cost, judged by the
// advisor from what the player could see when the card waited.
//
// Each placement is judged on its own position (the cards placed before
// it, where they went, and the waiting card), never on the cards that came
// later: the expected final round score of every empty cell is estimated
// by the advisor's play-outs (advisor::cellValues) on futures seeded from
// that position alone, so two rounds that share their first k cards and
// cells get the same judgement of those k placements. The points lost are
// the best cell's expectation less the player's cell's, and give the mark.
//
// The same deal and starter are also played by the advisor alone, so the
// player sees what it made on the very same cards.
//
// Everything here is deterministic for a round and Qt-free; a review may
// run on any thread and can be cancelled between placements.

#include "advisor.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace review {

constexpr int kCards = advisor::kCells;  // cards a player places in a round

// A finished round as the game can name it: the state of the game's
// generator just before the round's shuffle (which fixes the deal and the
// starter) and the cell (0 … 15, row by row) each dealt card went to.
struct Round {
    std::uint32_t seed = 0;
    std::array<int, kCards> cells{};
};

// One line, for copying and for pegbot --review:
//   pegsquare-round:SEED:CELLS
// SEED is the generator state in decimal (0 … 4294967295); CELLS is sixteen
// hexadecimal digits, the k-th the cell of the k-th dealt card (0 the top
// left, 3 the top right, f the bottom right). Every cell appears once.
std::string formatRound(const Round &round);
// Reads that line (surrounding blanks allowed); nullopt for anything else,
// including a cell named twice or a seed out of range.
std::optional<Round> parseRound(std::string_view text);

// The deal of a round: its sixteen board cards in order, then the starter.
std::array<int, kCards + 1> dealOf(const Round &round);

// Points lost at a placement, as a mark. The limits are in points of
// expected round score (see review.cpp for how they were chosen).
enum class Mark { Good, Inaccuracy, Mistake, Blunder };
constexpr double kInaccuracyFrom = 0.5;
constexpr double kMistakeFrom = 1.5;
constexpr double kBlunderFrom = 4.0;
Mark markFor(double lost);
// "good", "inaccuracy", "mistake", "blunder".
const char *markName(Mark mark);

// Futures each cell is played out on. At this number the points lost at a
// placement vary by about 0.1 from one set of futures to another (measured
// with bench/review_bench), well inside the narrowest mark.
constexpr int kReviewFutures = 2000;

struct Placement {
    int card = 0;             // the card that waited
    int cell = -1;            // where the player put it
    int bestCell = -1;        // the advisor's best cell for it
    double expected = 0.0;    // expected final round score after the player's cell
    double bestExpected = 0.0;
    double lost = 0.0;        // bestExpected − expected, never below 0
    Mark mark = Mark::Good;
    std::array<int, kCards> before{};  // the board as it stood (card codes, 0 empty)
};

// Judges putting position.card on `cell` of position.board. Needs a
// playable position and an empty cell; nullopt otherwise.
std::optional<Placement> judge(const advisor::Position &position, int cell, int futures = kReviewFutures);

struct Review {
    std::array<Placement, kCards> placements{};
    int starter = 0;
    int score = 0;            // the player's round score
    double totalLost = 0.0;   // the expected points lost over the round
    int advisorScore = 0;     // the advisor's round score on the same cards
    std::array<int, kCards> advisorCells{};
};

// Reviews `round`. `progress`, if given, is told (done, of) after each of
// the 2 × 16 steps; `cancel`, if given and set, stops the review between
// steps (then nullopt). Also nullopt for a round whose cells are not each
// used once.
std::optional<Review> reviewRound(const Round &round, const std::atomic<bool> *cancel = nullptr,
                                  const std::function<void(int done, int of)> &progress = {},
                                  int futures = kReviewFutures);

} // namespace review
