#include "advisor.h"

#include "cards.h"
#include "lcgrandom.h"
#include "squareplay.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace advisor {

bool isPlayable(const Position &position)
{
    if (cards::getsuit(position.card) == 0)
        return false;
    std::array<bool, cards::kCardCount + 1> seen{};
    seen[position.card] = true;
    bool open = false;
    for (int code : position.board) {
        if (code == cards::kNoCard) {
            open = true;
            continue;
        }
        if (cards::getsuit(code) == 0 || seen[code])
            return false;
        seen[code] = true;
    }
    return open;
}

namespace {
// The final worth of the board after the cards of `future` are placed in
// turn by the fast policy.
double playOut(Square square, const int *future, int count, const LineWorth &worth)
{
    for (int i = 0; i < count; ++i) {
        square.reveal(future[i]);
        square.place(worthCell(square, future[i], worth), future[i]);
    }
    return square.finalWorth();
}

// The cards neither on the board nor waiting, in code order.
std::vector<int> unseenCards(const Position &position)
{
    std::vector<int> unseen;
    std::array<bool, cards::kCardCount + 1> seen{};
    seen[position.card] = true;
    for (int code : position.board)
        seen[code] = true;
    for (int code = 1; code <= cards::kCardCount; ++code)
        if (!seen[code])
            unseen.push_back(code);
    return unseen;
}

// `count` futures of `toCome` cards each, one after the other in `deals`:
// each the first places of a fresh shuffle of `unseen`.
void sampleFutures(std::vector<int> &unseen, int toCome, int count, LcgRandom &random, std::vector<int> &deals)
{
    deals.resize(static_cast<std::size_t>(count) * toCome);
    for (int f = 0; f < count; ++f) {
        for (int i = 0; i < toCome; ++i) {
            const int j = i + static_cast<int>(random.draw(static_cast<std::uint32_t>(unseen.size() - i)));
            std::swap(unseen[i], unseen[j]);
            deals[static_cast<std::size_t>(f) * toCome + i] = unseen[i];
        }
    }
}

constexpr int kMostFutures = 100000;
} // namespace

Advice advise(const Position &position, std::uint32_t seed, const Effort &effort)
{
    if (!isPlayable(position))
        return {};
    const Square square(position);
    const LineWorth &worth = LineWorth::standard();

    struct Candidate {
        int cell;
        double gain;
        double total = 0.0;
    };
    std::vector<Candidate> candidates;
    double bestGain = 0.0;
    for (int cell = 0; cell < kCells; ++cell) {
        if (square.at(cell) != cards::kNoCard || !isRepresentative(square, cell))
            continue;
        const double g = square.gain(cell, position.card, worth);
        candidates.push_back({cell, g});
        bestGain = candidates.size() == 1 ? g : std::max(bestGain, g);
    }
    // A negative margin would drop the best cell too; none is kept then.
    const double margin = std::max(0.0, effort.prune);
    std::erase_if(candidates, [&](const Candidate &c) { return c.gain < bestGain - margin; });

    // The unseen cards, and the futures the candidates are played against.
    std::vector<int> unseen = unseenCards(position);
    const int toCome = square.empty() - 1;
    LcgRandom random(seed);
    std::vector<int> deals;
    // Plays `count` fresh futures for every candidate in `among`: the same
    // cards for each, so their totals differ by what the candidates do, not
    // by luck.
    auto playFutures = [&](std::vector<Candidate> &among, int count) {
        sampleFutures(unseen, toCome, count, random, deals);
        for (Candidate &c : among) {
            Square next = square;
            next.place(c.cell, position.card);
            for (int f = 0; f < count; ++f)
                c.total += playOut(next, deals.data() + static_cast<std::size_t>(f) * toCome, toCome, worth);
        }
    };
    auto byTotal = [](const Candidate &a, const Candidate &b) { return a.total > b.total; };

    // The last card has one future; otherwise every candidate is played
    // out, and then the best few again on more futures, since it is among
    // them that a close call is decided.
    int played = toCome == 0 ? 1 : std::clamp(effort.futures, 1, kMostFutures);
    playFutures(candidates, played);
    const int finalists = std::clamp(effort.finalists, 1, kCells);
    if (toCome > 0 && effort.finalFutures > 0 && static_cast<int>(candidates.size()) > 1) {
        std::stable_sort(candidates.begin(), candidates.end(), byTotal);
        if (static_cast<int>(candidates.size()) > finalists)
            candidates.resize(finalists);
        const int more = std::min(effort.finalFutures, kMostFutures);
        playFutures(candidates, more);
        played += more;
    }
    // The first of equal totals is the lowest cell: candidates keep their
    // cell order through the stable sort.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.total > b.total || (a.total == b.total && a.cell < b.cell);
    });
    return {candidates.front().cell, candidates.front().total / played};
}

std::array<double, kCells> cellValues(const Position &position, std::uint32_t seed, int futures)
{
    std::array<double, kCells> values;
    values.fill(std::numeric_limits<double>::quiet_NaN());
    if (!isPlayable(position))
        return values;
    const Square square(position);
    const LineWorth &worth = LineWorth::standard();
    std::vector<int> unseen = unseenCards(position);
    const int toCome = square.empty() - 1;
    const int count = toCome == 0 ? 1 : std::clamp(futures, 1, kMostFutures);
    LcgRandom random(seed);
    std::vector<int> deals;
    sampleFutures(unseen, toCome, count, random, deals);
    // A cell on an empty row or column stands for the same cell of the
    // first empty row or column.
    std::array<bool, kSide> rowEmpty{};
    std::array<bool, kSide> columnEmpty{};
    for (int i = 0; i < kSide; ++i) {
        rowEmpty[i] = square.line(rowLine(i * kSide)).count == 0;
        columnEmpty[i] = square.line(columnLine(i)).count == 0;
    }
    const auto firstEmpty = [](const std::array<bool, kSide> &empty, int i) {
        return empty[i] ? static_cast<int>(std::find(empty.begin(), empty.end(), true) - empty.begin()) : i;
    };
    for (int cell = 0; cell < kCells; ++cell) {
        if (square.at(cell) != cards::kNoCard)
            continue;
        const int mirror = firstEmpty(rowEmpty, cell / kSide) * kSide + firstEmpty(columnEmpty, cell % kSide);
        if (mirror != cell) {
            // Mirrors come earlier in the board, so theirs is already known.
            values[cell] = values[mirror];
            continue;
        }
        Square next = square;
        next.place(cell, position.card);
        double total = 0.0;
        for (int f = 0; f < count; ++f)
            total += playOut(next, deals.data() + static_cast<std::size_t>(f) * toCome, toCome, worth);
        values[cell] = total / count;
    }
    return values;
}

} // namespace advisor
