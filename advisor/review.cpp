#include "review.h"

#include "botmatch.h"
#include "cards.h"
#include "deck.h"
#include "round.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace review {

namespace {

constexpr std::string_view kPrefix = "pegsquare-round:";
constexpr char kHexDigits[] = "0123456789abcdef";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The futures of a position are seeded by the position alone (its cards
// and where they lie), never by the round it came from, so a judgement
// cannot depend on cards still to come.
std::uint32_t positionSeed(const advisor::Position &position)
{
    std::uint64_t h = 1469598103934665603ull;
    const auto add = [&h](int value) {
        h ^= static_cast<std::uint64_t>(value) + 1;
        h *= 1099511628211ull;
    };
    for (int code : position.board)
        add(code);
    add(position.card);
    return bot::mix(static_cast<std::uint32_t>(h), h >> 32, 0x7265766965777321ull);
}

} // namespace

std::string formatRound(const Round &round)
{
    std::string out(kPrefix);
    out += std::to_string(round.seed);
    out += ':';
    for (int cell : round.cells)
        out += kHexDigits[cell & 0xf];
    return out;
}

std::optional<Round> parseRound(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.starts_with(kPrefix))
        return std::nullopt;
    text.remove_prefix(kPrefix.size());
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view seedText = text.substr(0, colon);
    const std::string_view cellText = text.substr(colon + 1);
    Round round;
    const auto [end, error] = std::from_chars(seedText.data(), seedText.data() + seedText.size(), round.seed);
    if (error != std::errc() || end != seedText.data() + seedText.size())
        return std::nullopt;
    if (cellText.size() != kCards)
        return std::nullopt;
    std::array<bool, kCards> used{};
    for (int k = 0; k < kCards; ++k) {
        const int cell = hexValue(cellText[k]);
        if (cell < 0 || used[cell])
            return std::nullopt;
        used[cell] = true;
        round.cells[k] = cell;
    }
    return round;
}

std::array<int, kCards + 1> dealOf(const Round &round)
{
    const bot::Deal deal = bot::dealsFrom(round.seed, 1).front();
    std::array<int, kCards + 1> out{};
    std::copy(deal.begin(), deal.end(), out.begin());
    return out;
}

// The limits come from the spread of points lost per placement
// (bench/review_bench over 20 rounds): the advisor's own placements lose
// under 0.5 in 99 of 100, so below that a placement is as good as the
// advisor can tell; greedy play loses 0.9 at its 75th percentile and 1.8 at
// its 90th, so 1.5 is where a plain "take the points now" habit shows; and
// random play loses 4.5 at its 90th percentile, the size of a row's pair
// royal or a lost flush, which no thought-out placement gives away.
Mark markFor(double lost)
{
    if (lost >= kBlunderFrom)
        return Mark::Blunder;
    if (lost >= kMistakeFrom)
        return Mark::Mistake;
    if (lost >= kInaccuracyFrom)
        return Mark::Inaccuracy;
    return Mark::Good;
}

const char *markName(Mark mark)
{
    switch (mark) {
    case Mark::Good: return "good";
    case Mark::Inaccuracy: return "inaccuracy";
    case Mark::Mistake: return "mistake";
    case Mark::Blunder: return "blunder";
    }
    return "?";
}

std::optional<Placement> judge(const advisor::Position &position, int cell, int futures)
{
    if (!advisor::isPlayable(position) || cell < 0 || cell >= kCards || position.board[cell] != cards::kNoCard)
        return std::nullopt;
    const std::array<double, advisor::kCells> values = advisor::cellValues(position, positionSeed(position), futures);
    Placement p;
    p.card = position.card;
    p.cell = cell;
    p.before = position.board;
    p.expected = values[cell];
    // The first of equal values is the lowest cell, as with the advisor.
    for (int c = 0; c < kCards; ++c)
        if (!std::isnan(values[c]) && (p.bestCell < 0 || values[c] > values[p.bestCell]))
            p.bestCell = c;
    p.bestExpected = values[p.bestCell];
    // A cell as good as the best loses nothing: the player chose a best
    // cell, perhaps another of equal worth.
    p.lost = std::max(0.0, p.bestExpected - p.expected);
    p.mark = markFor(p.lost);
    return p;
}

std::optional<Review> reviewRound(const Round &round, const std::atomic<bool> *cancel,
                                  const std::function<void(int, int)> &progress, int futures)
{
    std::array<bool, kCards> used{};
    for (int cell : round.cells) {
        if (cell < 0 || cell >= kCards || used[cell])
            return std::nullopt;
        used[cell] = true;
    }
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    constexpr int kSteps = 2 * kCards;
    int done = 0;
    const auto step = [&] {
        ++done;
        if (progress)
            progress(done, kSteps);
    };

    const std::array<int, kCards + 1> deal = dealOf(round);
    Review review;
    review.starter = deal[kCards];
    advisor::Position position;
    for (int k = 0; k < kCards; ++k) {
        if (cancelled())
            return std::nullopt;
        position.card = deal[k];
        const std::optional<Placement> judged = judge(position, round.cells[k], futures);
        if (!judged)
            return std::nullopt;
        review.placements[k] = *judged;
        review.totalLost += judged->lost;
        position.board[round.cells[k]] = deal[k];
        step();
    }
    review.score = square::roundScore(position.board, review.starter);

    // The advisor on the same cards, deciding as the game's hint does.
    advisor::Position own;
    for (int k = 0; k < kCards; ++k) {
        if (cancelled())
            return std::nullopt;
        own.card = deal[k];
        const int cell = advisor::advise(own, bot::mix(round.seed, 0, static_cast<std::uint64_t>(k))).cell;
        own.board[cell] = deal[k];
        review.advisorCells[k] = cell;
        step();
    }
    review.advisorScore = square::roundScore(own.board, review.starter);
    return review;
}

} // namespace review
