// The placement advisor: forced choices, exact worths, determinism, and
// that it sees only what the player sees.
#include "advisor.h"
#include "botmatch.h"
#include "handnotation.h"
#include "lineworth.h"
#include "linescore.h"
#include "squareplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

int card(const std::string &name)
{
    const auto code = notation::parseCard(name);
    EXPECT_TRUE(code.has_value()) << name;
    return code.value_or(0);
}

// Sixteen cells row by row, "." for an empty one, then the card to place.
advisor::Position position(const std::string &board, const std::string &next)
{
    advisor::Position p;
    std::istringstream in(board);
    std::string cell;
    for (int i = 0; i < advisor::kCells && in >> cell; ++i)
        p.board[i] = cell == "." ? 0 : card(cell);
    p.card = next.empty() ? 0 : card(next);
    return p;
}

TEST(Advisor, TakesTheCellAPositionForces)
{
    struct Row {
        const char *name;
        const char *board;
        const char *card;
        int cell;
    };
    const Row rows[] = {
        // Three fives in the top row: the fourth five there is four of a
        // kind and four more fifteens with any ten.
        {"fourth five", "5C 5D 5H . 9S 2D . . KC . 3H . . 8D . AS", "5S", advisor::cellOf(1, 4)},
        {"fourth five, row open elsewhere", ". 5C 5D 5H 9S . . . KC . 3H . . 8D . AS", "5S", advisor::cellOf(1, 1)},
        {"the last empty cell", "AC 2C 3C 4C 5D 6D 7D 8D 9H TH JH QH KS AS 2S .", "3S", advisor::cellOf(4, 4)},
        {"the last empty cell, first", ". 2C 3C 4C 5D 6D 7D 8D 9H TH JH QH KS AS 2S 3S", "4S", advisor::cellOf(1, 1)},
    };
    for (const Row &row : rows) {
        const advisor::Advice a = advisor::advise(position(row.board, row.card), 7);
        EXPECT_EQ(a.cell, row.cell) << row.name;
    }
}

TEST(Advisor, RefusesPositionsThatCannotOccur)
{
    const char *full = "AC 2C 3C 4C 5D 6D 7D 8D 9H TH JH QH KS AS 2S 3S";
    struct Row {
        const char *name;
        advisor::Position p;
    };
    advisor::Position outOfRange = position(". . . . . . . . . . . . . . . .", "5S");
    outOfRange.board[3] = 53;
    advisor::Position noCard = position(". . . . . . . . . . . . . . . .", "");
    const Row rows[] = {
        {"the card is already on the board", position("5S . . . . . . . . . . . . . . .", "5S")},
        {"a card twice on the board", position("5S 5S . . . . . . . . . . . . . .", "AC")},
        {"a full board", position(full, "4S")},
        {"a value that is no card", outOfRange},
        {"no card to place", noCard},
    };
    for (const Row &row : rows) {
        EXPECT_FALSE(advisor::isPlayable(row.p)) << row.name;
        EXPECT_EQ(advisor::advise(row.p, 1).cell, -1) << row.name;
    }
    EXPECT_TRUE(advisor::isPlayable(position(". . . . . . . . . . . . . . . .", "5S")));
}

// The worth of a finished line is the game's own score of it, averaged
// over every card the player has not seen as the starter.
TEST(Advisor, CompleteLineWorthIsTheMeanScoreOverEveryStarter)
{
    const char *lines[] = {
        "5C 5D 5H JS",   // a Jack for the nob, fifteens, three of a kind
        "2H 7H 9H KH",   // four of a suit: 4, or 5 with a heart
        "JC JD JH JS",   // every Jack: any starter gives the nob
        "AC 2D 3H 4S",   // a run of four the starter can lengthen
        "6C 6D 9H 9S",
    };
    const char *seen = "QC QD 8C 3D";  // further cards out of the deck
    for (const char *text : lines) {
        std::istringstream in(std::string(text) + " " + seen);
        std::array<int, advisor::kLineCards> line{};
        advisor::Unseen unseen = advisor::Unseen::fullDeck();
        std::string name;
        for (int i = 0; in >> name; ++i) {
            if (i < advisor::kLineCards)
                line[i] = card(name);
            unseen.remove(card(name));
        }
        double sum = 0.0;
        int starters = 0;
        for (int s = 1; s <= 52; ++s) {
            const std::string n = notation::cardName(s);
            if (std::string(text).find(n) != std::string::npos || std::string(seen).find(n) != std::string::npos)
                continue;
            sum += scoring::scoreHand(scoring::Hand::fromCodes({line[0], line[1], line[2], line[3], s}), (s - 1) / 13 + 1)
                       .total();
            ++starters;
        }
        ASSERT_EQ(starters, unseen.total) << text;
        EXPECT_NEAR(advisor::completeWorth(line, unseen), sum / starters, 1e-9) << text;
    }
}

// Whatever the effort asked for, the advice is an empty cell.
TEST(Advisor, OddEffortsStillGiveAnEmptyCell)
{
    const advisor::Position p = position("7C . . . . 8D . . . . . KS . . . .", "5H");
    const advisor::Effort efforts[] = {{0, 6.0}, {-3, 6.0}, {4, -5.0}, {4, 1e9}};
    for (const advisor::Effort &e : efforts) {
        const int cell = advisor::advise(p, 3, e).cell;
        ASSERT_GE(cell, 0) << e.futures << " " << e.prune;
        EXPECT_EQ(p.board[cell], 0) << e.futures << " " << e.prune;
    }
}

TEST(Advisor, SamePositionAndSeedGiveTheSameAdvice)
{
    const advisor::Position p = position("7C . . . . 8D . . . . . KS . . . .", "5H");
    const advisor::Advice first = advisor::advise(p, 42);
    const advisor::Advice again = advisor::advise(p, 42);
    EXPECT_EQ(first.cell, again.cell);
    EXPECT_DOUBLE_EQ(first.expected, again.expected);
    EXPECT_GT(first.expected, 0.0);
}

// Two deals that agree on their first cards and differ after them: every
// decision made before the deals part is the same.
TEST(Advisor, NeverSeesTheCardsStillInTheDeck)
{
    const auto deals = bot::dealsFrom(11, 1);
    const advisor::Effort light{16, 6.0, 1, 0};  // the property holds for any effort
    for (int shown : {1, 5, 10}) {
        bot::Deal other = deals[0];
        std::reverse(other.begin() + shown, other.end());
        const bot::RoundResult a = bot::playRound(deals[0], bot::Strategy::Advisor, 5, light);
        const bot::RoundResult b = bot::playRound(other, bot::Strategy::Advisor, 5, light);
        for (int i = 0; i < shown; ++i)
            EXPECT_EQ(a.cells[i], b.cells[i]) << "card " << i + 1 << " with " << shown << " shown";
    }
}

} // namespace
