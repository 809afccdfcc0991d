#include "round.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// A full board: cell i holds card i + 1 (clubs Ace … King, then diamonds Ace, 2, 3).
square::Board countingBoard()
{
    square::Board board{};
    std::iota(board.begin(), board.end(), 1);
    return board;
}

TEST(Round, PlacingAndTurningTheStarterRefuseWhatCannotHappen)
{
    struct Row {
        const char *name;
        int filled;     // cells filled before the step, in order
        int cell;       // -1: the step turns the starter instead
        int code;
        bool accepted;
    };
    const Row rows[] = {
        {"an empty cell", 0, 5, 9, true},
        {"a taken cell", 1, 0, 9, false},
        {"below the board", 0, -2, 9, false},
        {"beyond the board", 0, square::kCells, 9, false},
        {"no card", 0, 5, cards::kNoCard, false},
        {"not a card code", 0, 5, cards::kCardCount + 1, false},
        {"the starter on a board not yet full", 15, -1, 40, false},
        {"the starter on a full board", 16, -1, 40, true},
        {"no card as the starter", 16, -1, cards::kNoCard, false},
    };
    const square::Board board = countingBoard();
    for (const Row &row : rows) {
        square::Round round;
        round.startGame();
        for (int cell = 0; cell < row.filled; ++cell)
            ASSERT_TRUE(round.place(cell, board[cell])) << row.name;
        const square::Round before = round;
        const bool accepted = row.cell == -1 ? round.turnStarter(row.code) : round.place(row.cell, row.code);
        EXPECT_EQ(accepted, row.accepted) << row.name;
        if (!accepted) {
            EXPECT_EQ(round.cells(), before.cells()) << row.name;
            EXPECT_EQ(round.placed(), before.placed()) << row.name;
            EXPECT_FALSE(round.isScored()) << row.name;
        }
    }
}

TEST(Round, TheScoreIsTheEightLinesAndTheGameGoesOnAt55)
{
    // Rounds of a game in turn: its cells, its starter, whether it goes on.
    square::Round round;
    round.startGame();
    const square::Board board = countingBoard();
    int total = 0;
    for (int played = 1; played <= 3; ++played) {
        for (int cell = 0; cell < square::kCells; ++cell)
            ASSERT_TRUE(round.place(cell, board[cell]));
        const int starter = 40 + played;  // a spade the board does not hold
        ASSERT_TRUE(round.turnStarter(starter));
        EXPECT_FALSE(round.turnStarter(starter)) << "a round is scored once";
        int lines = 0;
        for (int line : square::kLineNumbers) {
            const auto codes = round.lineCodes(line);
            EXPECT_EQ(codes[scoring::kHandSize - 1], starter);
            EXPECT_EQ(round.lineScore(line),
                      scoring::scoreHand(scoring::Hand::fromCodes(codes), cards::getsuit(starter)).total());
            lines += round.lineScore(line);
        }
        total += lines;
        EXPECT_EQ(round.score(), lines);
        EXPECT_EQ(round.score(), square::roundScore(board, starter));
        EXPECT_EQ(round.total(), total);
        EXPECT_EQ(round.roundNumber(), played);
        EXPECT_EQ(round.continuesGame(), lines >= 55);
        round.nextRound();
        EXPECT_EQ(round.placed(), 0);
        EXPECT_EQ(round.score(), 0);
        EXPECT_EQ(round.total(), total) << "the running total outlives the round";
    }
    round.startGame();
    EXPECT_EQ(round.total(), 0);
    EXPECT_EQ(round.roundNumber(), 1);
    for (const auto &[score, goesOn] : {std::pair{54, false}, std::pair{55, true}, std::pair{120, true}})
        EXPECT_EQ(square::continuesGame(score), goesOn) << score;
    EXPECT_EQ(round.breakdown(5).total(), 0) << "5 is no line";
    EXPECT_EQ(round.breakdown(10).total(), 0) << "10 is no line";
}

} // namespace
