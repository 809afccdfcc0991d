#pragma once

// A round's board as the advisor and the placement strategies see it: the
// cells, each line's state, and the cards not seen yet.

#include "advisor.h"
#include "lineworth.h"

#include <array>

class LcgRandom;

namespace advisor {

constexpr int kLines = square::kLineCount;  // rows 0 … 3, then columns 4 … 7, as square::lineIndex

struct LineState {
    int count = 0;
    std::array<int, kLineCards> codes{};
    std::array<int, kLineCards> ranks{};
    int suit = 0;            // the suit all its cards share; 0 when empty or mixed
    bool flushable = true;   // no two of its cards differ in suit
    unsigned jackSuits = 0;  // bit s set for a Jack of suit s
    int state = 0;           // multiset number of its ranks
};

class Square {
public:
    // An empty board with the whole deck unseen.
    Square();
    // The board of `position`; the waiting card counts as seen.
    explicit Square(const Position &position);

    // The next card comes into view (it leaves the unseen cards).
    void reveal(int code) { m_unseen.remove(code); }
    // Puts a revealed card on an empty cell.
    void place(int cell, int code);

    int at(int cell) const { return m_cells[cell]; }
    int empty() const { return m_empty; }
    const LineState &line(int n) const { return m_lines[n]; }
    const Unseen &unseen() const { return m_unseen; }

    // Expected final score of the board once full, over the starter.
    double finalWorth() const;
    // How much `code` joining each line would raise that line's worth
    // (0 for a full line). Placing it on a cell raises the board's worth
    // by the gains of the cell's row and column.
    std::array<double, kLines> lineGains(int code, const LineWorth &worth) const;
    // How much placing `code` on the empty `cell` raises the board's worth.
    double gain(int cell, int code, const LineWorth &worth) const;

private:
    std::array<int, kCells> m_cells{};
    std::array<LineState, kLines> m_lines{};
    Unseen m_unseen;
    int m_empty = kCells;
};

constexpr int rowLine(int cell) { return square::lineIndex(square::rowLineOf(cell)); }
constexpr int columnLine(int cell) { return square::lineIndex(square::columnLineOf(cell)); }

// Cells that differ only by swapping two empty rows or two empty columns
// lead to the same game: true for the first of each kind (and for every
// cell that is not on an empty line).
bool isRepresentative(const Square &square, int cell);

// The strategies a round can be played with. Each returns an empty cell.
// Uniformly at random.
int randomCell(const Square &square, LcgRandom &random);
// Where the points already made by the placed cards (pairs, runs,
// fifteens, four-card flushes) rise most; ties broken at random.
int greedyCell(const Square &square, int code, LcgRandom &random);
// Where the board's worth rises most (the first such cell): the advisor's
// fast policy.
int worthCell(const Square &square, int code, const LineWorth &worth);

// Points the cards of a line score among themselves, without a starter.
int presentPoints(const LineState &line);

} // namespace advisor
