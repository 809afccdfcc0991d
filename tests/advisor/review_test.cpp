// A played round's review: placements with a known judgement, that a
// judgement never rests on later cards, determinism, cancelling, and the
// one-line form of a round.
#include "botmatch.h"
#include "handnotation.h"
#include "review.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <string>

namespace {

// Few futures keep the tests quick; the judgements below do not hinge on
// the last tenth of a point.
constexpr int kFutures = 200;

// Sixteen cells row by row, "." for an empty one, then the card to place.
advisor::Position position(const std::string &board, const std::string &next)
{
    advisor::Position p;
    std::istringstream in(board);
    std::string cell;
    for (int i = 0; i < advisor::kCells && in >> cell; ++i)
        p.board[i] = cell == "." ? 0 : notation::parseCard(cell).value_or(0);
    p.card = notation::parseCard(next).value_or(0);
    return p;
}

TEST(Review, PlacementsWithAKnownJudgement)
{
    constexpr const char *kFives = "5C 5D 5H . 9S 2D . . KC . 3H . . 8D . AS";
    constexpr const char *kNearlyFull = "AC 2C 3C 4C 5D 6D 7D 8D 9H TH JH QH KS AS 2S .";
    struct Row {
        const char *name;
        const char *board;
        const char *card;
        int cell;
        int bestCell;
        review::Mark mark;
        bool lossless;  // no cell is better, to the last bit
    };
    const Row rows[] = {
        {"the fourth five completes the row", kFives, "5S", 3, 3, review::Mark::Good, true},
        {"the fourth five breaks the row of fives", kFives, "5S", 14, 3, review::Mark::Blunder, false},
        {"the last card has one cell", kNearlyFull, "3S", 15, 15, review::Mark::Good, true},
        // Any cell of an empty board is the same game as the first.
        {"the first card", ". . . . . . . . . . . . . . . .", "3S", 10, 0, review::Mark::Good, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto judged = review::judge(position(row.board, row.card), row.cell, kFutures);
        ASSERT_TRUE(judged.has_value());
        EXPECT_EQ(judged->bestCell, row.bestCell);
        EXPECT_EQ(judged->mark, row.mark);
        EXPECT_GE(judged->lost, 0.0);
        EXPECT_DOUBLE_EQ(judged->lost, judged->bestExpected - judged->expected);
        if (row.lossless) {
            EXPECT_EQ(judged->lost, 0.0);
        }
    }
    // Nothing to judge: a taken cell, a cell off the board, no card.
    EXPECT_FALSE(review::judge(position(kFives, "5S"), 0, kFutures));
    EXPECT_FALSE(review::judge(position(kFives, "5S"), 16, kFutures));
    EXPECT_FALSE(review::judge(position(kFives, ""), 3, kFutures));
}

TEST(Review, MarksFollowThePointsLost)
{
    const std::pair<double, review::Mark> rows[] = {
        {0.0, review::Mark::Good},
        {review::kInaccuracyFrom - 0.01, review::Mark::Good},
        {review::kInaccuracyFrom, review::Mark::Inaccuracy},
        {review::kMistakeFrom, review::Mark::Mistake},
        {review::kBlunderFrom - 0.01, review::Mark::Mistake},
        {review::kBlunderFrom, review::Mark::Blunder},
        {40.0, review::Mark::Blunder},
    };
    for (const auto &[lost, mark] : rows)
        EXPECT_EQ(review::markFor(lost), mark) << lost;
}

// A seed's round played greedily: the cells a player might have chosen.
review::Round greedyRound(std::uint32_t seed)
{
    review::Round round;
    round.seed = seed;
    const bot::Deal deal = bot::dealsFrom(seed, 1).front();
    round.cells = bot::playRound(deal, bot::Strategy::Greedy, seed).cells;
    return round;
}

TEST(Review, AJudgementRestsOnlyOnWhatThePlayerHadSeen)
{
    constexpr int kShared = 8;
    const review::Round a = greedyRound(31337);
    // The same deal and first placements, the rest in other cells.
    review::Round b = a;
    std::reverse(b.cells.begin() + kShared, b.cells.end());
    ASSERT_NE(a.cells, b.cells);
    // Another deal whose first two cards are the same.
    const auto firstTwo = [](std::uint32_t seed) {
        const bot::Deal d = bot::dealsFrom(seed, 1).front();
        return std::pair{d[0], d[1]};
    };
    std::uint32_t other = a.seed + 1;
    while (firstTwo(other) != firstTwo(a.seed))
        ++other;
    review::Round c;
    c.seed = other;
    c.cells[0] = a.cells[0];
    c.cells[1] = a.cells[1];
    for (int cell = 0, k = 2; cell < review::kCards; ++cell)
        if (cell != a.cells[0] && cell != a.cells[1])
            c.cells[k++] = cell;
    ASSERT_TRUE(review::parseRound(review::formatRound(c)));

    const auto ra = review::reviewRound(a, nullptr, {}, kFutures);
    const auto again = review::reviewRound(a, nullptr, {}, kFutures);
    const auto rb = review::reviewRound(b, nullptr, {}, kFutures);
    const auto rc = review::reviewRound(c, nullptr, {}, kFutures);
    ASSERT_TRUE(ra && again && rb && rc);
    const auto same = [](const review::Placement &x, const review::Placement &y) {
        return x.card == y.card && x.cell == y.cell && x.bestCell == y.bestCell && x.expected == y.expected
               && x.bestExpected == y.bestExpected && x.before == y.before;
    };
    for (int k = 0; k < review::kCards; ++k) {
        EXPECT_TRUE(same(ra->placements[k], again->placements[k])) << "rerun, card " << k;
        if (k < kShared) {
            EXPECT_TRUE(same(ra->placements[k], rb->placements[k])) << "later cells changed, card " << k;
        }
        if (k < 2) {
            EXPECT_TRUE(same(ra->placements[k], rc->placements[k])) << "later cards changed, card " << k;
        }
    }
    EXPECT_EQ(ra->totalLost, again->totalLost);
    EXPECT_EQ(ra->advisorCells, again->advisorCells);
    EXPECT_EQ(ra->advisorScore, again->advisorScore);
    // The player's and the advisor's rounds end on the same starter.
    EXPECT_EQ(ra->starter, review::dealOf(a)[review::kCards]);
}

TEST(Review, ProgressCountsEveryStepAndCancelStops)
{
    const review::Round round = greedyRound(4242);
    int last = 0;
    int of = 0;
    ASSERT_TRUE(review::reviewRound(round, nullptr, [&](int done, int total) {
        EXPECT_EQ(done, last + 1);
        last = done;
        of = total;
    }, kFutures));
    EXPECT_EQ(last, of);
    EXPECT_EQ(of, 2 * review::kCards);

    std::atomic<bool> cancel{false};
    int steps = 0;
    const auto stopped = review::reviewRound(round, &cancel, [&](int done, int) {
        steps = done;
        if (done == 5)
            cancel = true;
    }, kFutures);
    EXPECT_FALSE(stopped.has_value());
    EXPECT_EQ(steps, 5);
}

TEST(Review, TheOneLineFormOfARound)
{
    review::Round round = greedyRound(4294967295u);
    const std::string line = review::formatRound(round);
    const auto back = review::parseRound("  " + line + "\n");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->seed, round.seed);
    EXPECT_EQ(back->cells, round.cells);
    EXPECT_EQ(review::formatRound(*review::parseRound("pegsquare-round:12:0123456789ABCDEF")),
              "pegsquare-round:12:0123456789abcdef");

    const char *const refused[] = {
        "",
        "pegsquare-round:12:0123456789abcde",    // fifteen cells
        "pegsquare-round:12:0123456789abcdef0",  // seventeen
        "pegsquare-round:12:0123456789abcdee",   // a cell twice
        "pegsquare-round:12:0123456789abcdeg",   // not a cell
        "pegsquare-round:4294967296:0123456789abcdef",  // seed too large
        "pegsquare-round:-1:0123456789abcdef",
        "pegsquare-round::0123456789abcdef",
        "pegsquare-round:12 0123456789abcdef",
        "round:12:0123456789abcdef",
    };
    for (const char *text : refused)
        EXPECT_FALSE(review::parseRound(text).has_value()) << text;
    // A round whose cells are not each used once is not reviewed.
    round.cells[0] = round.cells[1];
    EXPECT_FALSE(review::reviewRound(round, nullptr, {}, kFutures).has_value());
}

} // namespace
