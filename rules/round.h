#pragma once

#include "cards.h"
#include "linescore.h"

#include <array>

// One round of the square and the game it belongs to: sixteen cells filled
// one card at a time, the starter turned once they are full, the eight
// lines scored with it, and a round of 55 or more continuing the game. The
// window shows this model; the tools and the advisor play on it. It knows
// nothing of controls, timers or sounds.
namespace square {

constexpr int kSide = 4;                 // rows and columns a player fills
constexpr int kCells = kSide * kSide;    // cell (row − 1) × 4 + column − 1
constexpr int kLineCount = 2 * kSide;    // four rows, four columns
constexpr int kContinueThreshold = 55;   // a round of this many points or more continues the game

// A round's score that lets the game go on to another round.
constexpr bool continuesGame(int roundScore) { return roundScore >= kContinueThreshold; }

// The lines by the numbers the board gives them: rows 1 … 4 read across,
// columns 6 … 9 read down. 5 and 10 would be the starter's own row and
// column, which are never scored.
constexpr std::array<int, kLineCount> kLineNumbers{1, 2, 3, 4, 6, 7, 8, 9};
constexpr bool isLineNumber(int line) { return line >= 1 && line <= 2 * kSide + 1 && line != kSide + 1; }
constexpr bool isRow(int line) { return line <= kSide; }
// Place of a line number in kLineNumbers (rows 0 … 3, columns 4 … 7).
constexpr int lineIndex(int line) { return isRow(line) ? line - 1 : line - 2; }
// The cell of the k-th card (0 … 3) of a line, across a row or down a column.
constexpr int lineCell(int line, int k)
{
    return isRow(line) ? (line - 1) * kSide + k : k * kSide + (line - kSide - 2);
}
// The row (1 … 4) and the column (6 … 9) line numbers through a cell.
constexpr int rowLineOf(int cell) { return cell / kSide + 1; }
// The cell at row and column 1 … 4.
constexpr int cellOf(int row, int column) { return (row - 1) * kSide + (column - 1); }
constexpr int columnLineOf(int cell) { return cell % kSide + kSide + 2; }

using Board = std::array<int, kCells>;

// Points of one line with the starter: its four cards, the starter last.
scoring::LineBreakdown scoreLine(const Board &board, int line, int starter);
// The score of a full board with `starter`: the sum of its eight lines.
int roundScore(const Board &board, int starter);

class Round {
public:
    // A new game: its first round, nothing placed, a running total of 0.
    void startGame();
    // The next round of the same game: the board cleared, the total kept.
    void nextRound();

    int at(int cell) const { return m_cells[cell]; }
    const Board &cells() const { return m_cells; }
    int placed() const { return m_placed; }
    bool isFull() const { return m_placed == kCells; }
    // Puts `code` on an empty cell; false, and nothing changes, when the
    // cell is taken, out of range, or the card is no card.
    bool place(int cell, int code);

    // Turns the starter of a full board and scores the eight lines with
    // it, adding the round to the running total; false, and nothing
    // changes, before the board is full or once the round is scored.
    bool turnStarter(int starter);
    bool isScored() const { return m_starter != cards::kNoCard; }
    int starter() const { return m_starter; }
    int starterSuit() const { return cards::getsuit(m_starter); }

    // A line's four cards, then the starter (no card before it is turned).
    std::array<int, scoring::kHandSize> lineCodes(int line) const;
    // A line's points by category and in all; zero before the starter and
    // for anything but a line number.
    const scoring::LineBreakdown &breakdown(int line) const;
    int lineScore(int line) const { return breakdown(line).total(); }
    // The eight lines' sum (0 before the starter).
    int score() const { return m_score; }
    bool continuesGame() const { return isScored() && square::continuesGame(m_score); }

    // The game: the rounds played so far (this one included) and the sum
    // of their scores.
    int roundNumber() const { return m_roundNumber; }
    int total() const { return m_total; }

private:
    void clearBoard();

    Board m_cells{};
    int m_placed = 0;
    int m_starter = cards::kNoCard;
    std::array<scoring::LineBreakdown, kLineCount> m_breakdowns{};
    int m_score = 0;
    int m_roundNumber = 0;
    int m_total = 0;
};

} // namespace square
