#include "botmatch.h"

#include "advisor.h"
#include "deck.h"
#include "lcgrandom.h"
#include "linescore.h"
#include "round.h"
#include "squareplay.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace bot {

std::uint32_t mix(std::uint32_t seed, std::uint64_t a, std::uint64_t b)
{
    std::uint64_t z = (std::uint64_t{seed} << 32) ^ (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xBF58476D1CE4E5B9ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(z ^ (z >> 31));
}

const char *strategyName(Strategy s)
{
    switch (s) {
    case Strategy::Random: return "random";
    case Strategy::Greedy: return "greedy";
    case Strategy::Advisor: return "advisor";
    }
    return "?";
}

bool parseStrategy(const std::string &name, Strategy &s)
{
    for (Strategy c : {Strategy::Random, Strategy::Greedy, Strategy::Advisor}) {
        if (name == strategyName(c)) {
            s = c;
            return true;
        }
    }
    return false;
}

std::vector<Deal> dealsFrom(std::uint32_t seed, long rounds)
{
    LcgRandom random(seed);
    Deck deck;
    std::vector<Deal> deals(static_cast<std::size_t>(std::max(0L, rounds)));
    for (Deal &d : deals) {
        deck.shuffle(random);
        for (int p = 1; p <= Deck::kStarterPosition; ++p)
            d[p - 1] = deck.at(p);
    }
    return deals;
}

RoundResult playRound(const Deal &deal, Strategy strategy, std::uint32_t seed, const advisor::Effort &effort)
{
    using Clock = std::chrono::steady_clock;
    RoundResult result;
    LcgRandom random(seed);
    advisor::Square square;
    advisor::Position position;
    for (int i = 0; i < Deck::kBoardCards; ++i) {
        const int code = deal[i];
        square.reveal(code);
        position.card = code;
        const auto start = Clock::now();
        int cell = -1;
        switch (strategy) {
        case Strategy::Random: cell = advisor::randomCell(square, random); break;
        case Strategy::Greedy: cell = advisor::greedyCell(square, code, random); break;
        case Strategy::Advisor: cell = advisor::advise(position, mix(seed, 0, static_cast<std::uint64_t>(i)), effort).cell; break;
        }
        result.decisionMs[i] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        square.place(cell, code);
        position.board[cell] = code;
        result.cells[i] = cell;
    }
    result.score = square::roundScore(position.board, deal[Deck::kBoardCards]);
    return result;
}

Summary playAll(const std::vector<Deal> &deals, Strategy strategy, std::uint32_t seed, int threads,
                const advisor::Effort &effort)
{
    const long rounds = static_cast<long>(deals.size());
    std::vector<RoundResult> results(deals.size());
    std::atomic<long> next{0};
    auto work = [&] {
        for (long r; (r = next.fetch_add(1)) < rounds;)
            results[r] = playRound(deals[r], strategy, mix(seed, static_cast<std::uint64_t>(r) + 1, 0), effort);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::clamp(threads, 1, 256); ++t)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();

    Summary s;
    s.strategy = strategy;
    s.rounds = rounds;
    if (rounds == 0)
        return s;
    double sum = 0.0;
    double squares = 0.0;
    long cleared = 0;
    long game = 0;
    double games = 0.0;
    std::vector<double> times;
    times.reserve(deals.size() * 16);
    for (const RoundResult &r : results) {
        sum += r.score;
        squares += double(r.score) * r.score;
        game += r.score;
        if (square::continuesGame(r.score)) {
            ++cleared;
        } else {
            games += double(game);
            game = 0;
            ++s.games;
        }
        times.insert(times.end(), r.decisionMs.begin(), r.decisionMs.end());
    }
    const double n = double(rounds);
    s.mean = sum / n;
    const double variance = rounds > 1 ? std::max(0.0, (squares - sum * sum / n) / (n - 1)) : 0.0;
    s.ci95 = 1.96 * std::sqrt(variance / n);
    s.clearRate = double(cleared) / n;
    // A game the run ends in the middle of is left out, unless no game
    // ended at all.
    s.gameMean = s.games > 0 ? games / double(s.games) : double(game);
    std::sort(times.begin(), times.end());
    s.decisionMedianMs = times[times.size() / 2];
    s.decisionWorstMs = times.back();
    return s;
}

} // namespace bot
