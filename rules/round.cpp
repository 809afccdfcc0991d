#include "round.h"

namespace square {

scoring::LineBreakdown scoreLine(const Board &board, int line, int starter)
{
    std::array<int, scoring::kHandSize> codes{};
    for (int k = 0; k < kSide; ++k)
        codes[k] = board[lineCell(line, k)];
    codes[kSide] = starter;
    return scoring::scoreHand(scoring::Hand::fromCodes(codes), cards::getsuit(starter));
}

int roundScore(const Board &board, int starter)
{
    int total = 0;
    for (int line : kLineNumbers)
        total += scoreLine(board, line, starter).total();
    return total;
}

void Round::clearBoard()
{
    m_cells = {};
    m_placed = 0;
    m_starter = cards::kNoCard;
    m_breakdowns = {};
    m_score = 0;
}

void Round::startGame()
{
    clearBoard();
    m_roundNumber = 1;
    m_total = 0;
}

void Round::nextRound()
{
    clearBoard();
    ++m_roundNumber;
}

bool Round::place(int cell, int code)
{
    if (cell < 0 || cell >= kCells || m_cells[cell] != cards::kNoCard || cards::getsuit(code) == 0)
        return false;
    m_cells[cell] = code;
    ++m_placed;
    return true;
}

bool Round::turnStarter(int starter)
{
    if (!isFull() || isScored() || cards::getsuit(starter) == 0)
        return false;
    m_starter = starter;
    m_score = 0;
    for (int line : kLineNumbers) {
        m_breakdowns[lineIndex(line)] = scoreLine(m_cells, line, starter);
        m_score += lineScore(line);
    }
    m_total += m_score;
    return true;
}

const scoring::LineBreakdown &Round::breakdown(int line) const
{
    static const scoring::LineBreakdown kNone{};
    if (!isLineNumber(line))
        return kNone;
    return m_breakdowns[lineIndex(line)];
}

std::array<int, scoring::kHandSize> Round::lineCodes(int line) const
{
    std::array<int, scoring::kHandSize> codes{};
    for (int k = 0; k < kSide; ++k)
        codes[k] = m_cells[lineCell(line, k)];
    codes[kSide] = m_starter;
    return codes;
}

} // namespace square
