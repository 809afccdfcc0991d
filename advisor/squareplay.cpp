#include "squareplay.h"

#include "cards.h"
#include "lcgrandom.h"
#include "linescore.h"

#include <bit>

namespace advisor {

namespace {
LineState withCard(const LineState &line, int code)
{
    LineState next = line;
    const int suit = cards::getsuit(code);
    next.codes[next.count] = code;
    next.ranks[next.count] = cards::rankValue(code);
    if (next.count == 0)
        next.suit = suit;
    else if (next.suit != suit) {
        next.suit = 0;
        next.flushable = false;
    }
    if (next.ranks[next.count] == cards::kJack)
        next.jackSuits |= 1u << suit;
    next.state = addRank(line.state, next.ranks[next.count]);
    ++next.count;
    return next;
}

double lineWorth(const LineState &line, const LineWorth &worth, const Unseen &unseen)
{
    if (line.count == kLineCards)
        return completeWorth(line.state, line.flushable ? line.suit : 0, line.jackSuits, unseen);
    return worth.open(line.state, line.flushable);
}
} // namespace

Square::Square() : m_unseen(Unseen::fullDeck())
{
    for (LineState &l : m_lines)
        l.state = multisetIndex(nullptr, 0);
}

Square::Square(const Position &position) : Square()
{
    for (int cell = 0; cell < kCells; ++cell) {
        if (position.board[cell] != cards::kNoCard) {
            reveal(position.board[cell]);
            place(cell, position.board[cell]);
        }
    }
    reveal(position.card);
}

void Square::place(int cell, int code)
{
    m_cells[cell] = code;
    for (int n : {rowLine(cell), columnLine(cell)})
        m_lines[n] = withCard(m_lines[n], code);
    --m_empty;
}

double Square::finalWorth() const
{
    double sum = 0.0;
    for (const LineState &l : m_lines)
        sum += l.count == kLineCards ? completeWorth(l.state, l.flushable ? l.suit : 0, l.jackSuits, m_unseen) : 0.0;
    return sum;
}

std::array<double, kLines> Square::lineGains(int code, const LineWorth &worth) const
{
    std::array<double, kLines> gains{};
    for (int n = 0; n < kLines; ++n) {
        const LineState &l = m_lines[n];
        if (l.count < kLineCards)
            gains[n] = lineWorth(withCard(l, code), worth, m_unseen) - lineWorth(l, worth, m_unseen);
    }
    return gains;
}

double Square::gain(int cell, int code, const LineWorth &worth) const
{
    const auto gains = lineGains(code, worth);
    return gains[rowLine(cell)] + gains[columnLine(cell)];
}

int randomCell(const Square &square, LcgRandom &random)
{
    int pick = static_cast<int>(random.draw(static_cast<std::uint32_t>(square.empty())));
    for (int cell = 0; cell < kCells; ++cell)
        if (square.at(cell) == cards::kNoCard && pick-- == 0)
            return cell;
    return -1;
}

int presentPoints(const LineState &line)
{
    int points = 0;
    std::array<int, kRanks> counts{};
    for (int i = 0; i < line.count; ++i) {
        ++counts[cards::rankIndex(line.codes[i])];
        for (int j = i + 1; j < line.count; ++j)
            points += line.ranks[i] == line.ranks[j] ? 2 : 0;
    }
    for (unsigned subset = 1; subset < (1u << line.count); ++subset) {
        if (std::popcount(subset) < 2)
            continue;
        int sum = 0;
        for (int i = 0; i < line.count; ++i)
            sum += (subset & (1u << i)) ? scoring::countingValue(line.ranks[i]) : 0;
        points += sum == 15 ? 2 : 0;
    }
    // Runs: the longest unbroken stretch of three or more ranks, once per
    // way of choosing one card of each rank.
    for (int start = 0; start < kRanks;) {
        int end = start;
        int ways = 1;
        while (end < kRanks && counts[end] > 0)
            ways *= counts[end++];
        if (end - start >= 3)
            points += (end - start) * ways;
        start = end == start ? start + 1 : end;
    }
    if (line.count == kLineCards && line.flushable)
        points += 4;
    return points;
}

int greedyCell(const Square &square, int code, LcgRandom &random)
{
    int best = -1;
    int bestGain = 0;
    int ties = 0;
    for (int cell = 0; cell < kCells; ++cell) {
        if (square.at(cell) != cards::kNoCard)
            continue;
        int g = 0;
        for (int n : {rowLine(cell), columnLine(cell)})
            g += presentPoints(withCard(square.line(n), code)) - presentPoints(square.line(n));
        // Reservoir choice among equal gains, so ties do not all fall on
        // the first rows.
        if (best < 0 || g > bestGain) {
            best = cell;
            bestGain = g;
            ties = 1;
        } else if (g == bestGain && random.draw(static_cast<std::uint32_t>(++ties)) == 0) {
            best = cell;
        }
    }
    return best;
}

bool isRepresentative(const Square &square, int cell)
{
    auto lineEmpty = [&](int n) { return square.line(n).count == 0; };
    const int row = cell / kSide;
    const int column = cell % kSide;
    if (lineEmpty(rowLine(cell)))
        for (int r = 0; r < row; ++r)
            if (lineEmpty(r))
                return false;
    if (lineEmpty(columnLine(cell)))
        for (int c = 0; c < column; ++c)
            if (lineEmpty(kSide + c))
                return false;
    return true;
}

int worthCell(const Square &square, int code, const LineWorth &worth)
{
    // The card's worth to a line is the same whichever of its open cells
    // takes it: eight line gains price every cell.
    const auto gains = square.lineGains(code, worth);
    int best = -1;
    double bestGain = 0.0;
    for (int cell = 0; cell < kCells; ++cell) {
        if (square.at(cell) != cards::kNoCard)
            continue;
        const double g = gains[rowLine(cell)] + gains[columnLine(cell)];
        if (best < 0 || g > bestGain) {
            best = cell;
            bestGain = g;
        }
    }
    return best;
}

} // namespace advisor
