#include "lineworth.h"

#include "cards.h"
#include "linescore.h"

#include <algorithm>
#include <vector>

namespace advisor {

namespace {
constexpr int kPad = kRanks;              // marks an unused place in a multiset's code
constexpr int kBase = kRanks + 1;
constexpr int kCodes = kBase * kBase * kBase * kBase;

int sortedCode(const int *ranks, int count)
{
    std::array<int, kLineCards> sorted{kPad, kPad, kPad, kPad};
    for (int i = 0; i < count; ++i) {
        int j = i;
        while (j > 0 && sorted[j - 1] > ranks[i]) {
            sorted[j] = sorted[j - 1];
            --j;
        }
        sorted[j] = ranks[i];
    }
    return ((sorted[0] * kBase + sorted[1]) * kBase + sorted[2]) * kBase + sorted[3];
}

// Every multiset of up to four ranks, numbered by size and then in
// ascending order; `ranks` holds each one's members.
struct Multisets {
    std::vector<std::int16_t> byCode = std::vector<std::int16_t>(kCodes, -1);
    std::vector<std::array<int, kLineCards>> ranks;
    std::vector<int> sizes;
    std::vector<std::int16_t> next;  // open state × rank → the state with that rank added

    Multisets()
    {
        for (int size = 0; size <= kLineCards; ++size) {
            std::array<int, kLineCards> m{};
            walk(m, 0, size, 0);
        }
        next.resize(kOpenStates * kRanks);
        for (int s = 0; s < kOpenStates; ++s) {
            for (int r = 0; r < kRanks; ++r) {
                std::array<int, kLineCards> m = ranks[s];
                m[sizes[s]] = r;
                next[s * kRanks + r] = byCode[sortedCode(m.data(), sizes[s] + 1)];
            }
        }
    }

    void walk(std::array<int, kLineCards> &m, int at, int size, int from)
    {
        if (at == size) {
            byCode[sortedCode(m.data(), size)] = static_cast<std::int16_t>(ranks.size());
            ranks.push_back(m);
            sizes.push_back(size);
            return;
        }
        for (int r = from; r < kRanks; ++r) {
            m[at] = r;
            walk(m, at + 1, size, r);
        }
    }
};

const Multisets &multisets()
{
    static const Multisets m;
    return m;
}

// A card code of the given rank value (the suit does not matter to the
// rank points).
int codeOfRank(int rank)
{
    return rank == cards::kKing ? cards::kRanksPerSuit : rank;
}

// Rank points of every full multiset with every starter rank.
struct RankPoints {
    std::vector<std::uint8_t> points = std::vector<std::uint8_t>(kFullStates * kRanks);

    RankPoints()
    {
        const Multisets &m = multisets();
        for (int s = 0; s < kFullStates; ++s) {
            const auto &r = m.ranks[kOpenStates + s];
            for (int starter = 0; starter < kRanks; ++starter) {
                const auto hand = scoring::Hand::fromCodes(
                    {codeOfRank(r[0]), codeOfRank(r[1]), codeOfRank(r[2]), codeOfRank(r[3]), codeOfRank(starter)});
                const int p = scoring::checkforpairs(hand) + scoring::checkforstraight(hand) + scoring::checkfor15(hand);
                points[s * kRanks + starter] = static_cast<std::uint8_t>(p);
            }
        }
    }
};

const RankPoints &rankTable()
{
    static const RankPoints t;
    return t;
}
} // namespace

int multisetIndex(const int *ranks, int count)
{
    return multisets().byCode[sortedCode(ranks, count)];
}

int addRank(int openState, int rank)
{
    return multisets().next[openState * kRanks + rank];
}

int rankPoints(int fullState, int starterRank)
{
    return rankTable().points[(fullState - kOpenStates) * kRanks + starterRank];
}

Unseen Unseen::fullDeck()
{
    Unseen u;
    for (int code = 1; code <= cards::kCardCount; ++code)
        u.add(code);
    return u;
}

void Unseen::remove(int code)
{
    const int suit = cards::getsuit(code);
    --ranks[cards::rankValue(code)];
    --suits[suit];
    if (cards::rankValue(code) == cards::kJack)
        --jacks[suit];
    --total;
}

void Unseen::add(int code)
{
    const int suit = cards::getsuit(code);
    ++ranks[cards::rankValue(code)];
    ++suits[suit];
    if (cards::rankValue(code) == cards::kJack)
        ++jacks[suit];
    ++total;
}

double completeWorth(const std::array<int, kLineCards> &codes, const Unseen &unseen)
{
    int state = multisetIndex(nullptr, 0);
    const int suit = cards::getsuit(codes[0]);
    bool flush = true;
    unsigned jackSuits = 0;
    for (int code : codes) {
        state = addRank(state, cards::rankValue(code));
        flush = flush && cards::getsuit(code) == suit;
        if (cards::rankValue(code) == cards::kJack)
            jackSuits |= 1u << cards::getsuit(code);
    }
    return completeWorth(state, flush ? suit : 0, jackSuits, unseen);
}

double completeWorth(int fullState, int flushSuit, unsigned jackSuits, const Unseen &unseen)
{
    if (unseen.total <= 0)
        return 0.0;
    // Points summed over every possible starter, in whole numbers.
    const std::uint8_t *row = &rankTable().points[(fullState - kOpenStates) * kRanks];
    int sum = 0;
    for (int r = 0; r < kRanks; ++r)
        sum += row[r] * unseen.ranks[r];

    // The flush: four of one suit score 4, and 5 with a starter of that suit.
    if (flushSuit != 0)
        sum += 4 * unseen.total + unseen.suits[flushSuit];

    // The nob: a starter of the suit of a Jack in the line, or a Jack as
    // the starter, gives the line one point (once).
    for (int s = 1; s <= 4; ++s)
        sum += (jackSuits & (1u << s)) ? unseen.suits[s] : unseen.jacks[s];
    return static_cast<double>(sum) / unseen.total;
}

LineWorth LineWorth::randomFill(double flushWeight)
{
    // Rank points when the open places and the starter take random ranks:
    // a full line averages over the starter, a line with fewer cards over
    // its next card.
    const Multisets &m = multisets();
    std::vector<double> rankWorth(kStates, 0.0);
    for (int s = kOpenStates; s < kStates; ++s) {
        double sum = 0.0;
        for (int r = 0; r < kRanks; ++r)
            sum += rankPoints(s, r);
        rankWorth[s] = sum / kRanks;
    }
    for (int size = kLineCards - 1; size >= 0; --size) {
        for (int s = 0; s < kOpenStates; ++s) {
            if (m.sizes[s] != size)
                continue;
            double sum = 0.0;
            for (int r = 0; r < kRanks; ++r) {
                sum += rankWorth[addRank(s, r)];
            }
            rankWorth[s] = sum / kRanks;
        }
    }

    LineWorth w;
    for (int s = 0; s < kOpenStates; ++s) {
        const int size = m.sizes[s];
        int jacks = 0;
        for (int i = 0; i < size; ++i)
            jacks += m.ranks[s][i] == cards::kJack;
        // Each Jack the line holds or will get has one chance in four of
        // the starter's suit; a Jack as the starter gives the point anyway.
        const double nob = (jacks + (kLineCards - size) / 13.0) * 0.25 + 1.0 / 13.0;
        double suitedFill = 1.0;
        for (int i = size; i < kLineCards; ++i)
            suitedFill *= i == 0 ? 1.0 : 0.25;
        w.open(s, false) = static_cast<float>(rankWorth[s] + nob);
        w.open(s, true) = static_cast<float>(rankWorth[s] + nob + flushWeight * suitedFill * 4.25);
    }
    return w;
}

const LineWorth &LineWorth::standard()
{
    // Twice the random-fill chance of a flush played best of the weights
    // pegbot tried (1, 2, 3, 5, 8) with the fast policy alone.
    static const LineWorth worth = randomFill(2.0);
    return worth;
}

} // namespace advisor
