#include "linescore.h"

#include "cards.h"

#include <bit>
#include <numeric>

namespace scoring {

namespace {
constexpr int kFifteen = 15;
constexpr int kCourtValue = 10;
constexpr int kRankCount = cards::kRanksPerSuit;
} // namespace

int countingValue(int rank)
{
    return (rank == cards::kKing || rank > kCourtValue) ? kCourtValue : rank;
}

Hand Hand::fromCodes(const std::array<int, kHandSize> &codes)
{
    Hand hand;
    hand.codes = codes;
    for (int i = 0; i < kHandSize; ++i)
        hand.ranks[i] = cards::rankValue(codes[i]);
    return hand;
}

int LineBreakdown::total() const
{
    return std::accumulate(points.begin(), points.end(), 0);
}

int checkfornob(const Hand &hand, int starterSuit)
{
    for (int i = 0; i < kHandSize; ++i)
        if (hand.ranks[i] == cards::kJack && cards::getsuit(hand.codes[i]) == starterSuit)
            return 1;
    return 0;
}

int checkforpairs(const Hand &hand)
{
    int points = 0;
    for (int i = 0; i < kHandSize; ++i)
        for (int j = i + 1; j < kHandSize; ++j)
            if (hand.ranks[i] == hand.ranks[j])
                points += 2;
    return points;
}

int checkforstraight(const Hand &hand)
{
    // Counters in Ace … King order: rank r (1 … 12) at r − 1, King last.
    std::array<int, kRankCount> counts{};
    for (int rank : hand.ranks)
        ++counts[rank == cards::kKing ? kRankCount - 1 : rank - 1];

    int bestStart = 0;
    int bestLength = 0;
    for (int start = 0; start < kRankCount;) {
        if (counts[start] == 0) {
            ++start;
            continue;
        }
        int end = start;
        while (end < kRankCount && counts[end] > 0)
            ++end;
        if (end - start > bestLength) {
            bestLength = end - start;
            bestStart = start;
        }
        start = end;
    }

    int triples = 0;
    int pairs = 0;
    for (int i = bestStart; i < bestStart + bestLength; ++i) {
        if (counts[i] == 3)
            ++triples;
        else if (counts[i] == 2)
            ++pairs;
    }
    switch (bestLength) {
    case 5:
        return 5;
    case 4:
        return (triples || pairs) ? 8 : 4;
    case 3:
        if (triples)
            return 9;
        if (pairs >= 2)
            return 12;
        if (pairs == 1)
            return 6;
        return 3;
    default:
        return 0;
    }
}

int checkforflush(const Hand &hand)
{
    const int first = cards::getsuit(hand.codes[0]);
    int same = 1;
    for (int i = 1; i < kHandSize; ++i)
        if (cards::getsuit(hand.codes[i]) == first)
            ++same;
    if (same == kHandSize)
        return 5;
    if (same == kHandSize - 1 && cards::getsuit(hand.codes[kHandSize - 1]) != first)
        return 4;
    return 0;
}

int checkfor15(const Hand &hand)
{
    int points = 0;
    for (unsigned subset = 1; subset < (1u << kHandSize); ++subset) {
        if (std::popcount(subset) < 2)
            continue;
        int sum = 0;
        for (int i = 0; i < kHandSize; ++i)
            if (subset & (1u << i))
                sum += countingValue(hand.ranks[i]);
        if (sum == kFifteen)
            points += 2;
    }
    return points;
}

LineBreakdown scoreHand(const Hand &hand, int starterSuit)
{
    LineBreakdown b;
    b.points[Nob] = checkfornob(hand, starterSuit);
    b.points[Sets] = checkforpairs(hand);
    b.points[Runs] = checkforstraight(hand);
    b.points[Flush] = checkforflush(hand);
    b.points[Fifteens] = checkfor15(hand);
    return b;
}

} // namespace scoring
