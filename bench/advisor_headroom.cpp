// How much could one more step of search add to the advisor's play?
//
// The advisor judges each cell as if the rest of the round were played by
// its fast policy. A search one step deeper would judge each cell as if the
// rest were played by the advisor itself. This benchmark measures what that
// deeper search would win, without the time limit a decision has in the
// game. Not a test: it prints figures.
//
// Each round is played by the advisor up to a studied position: the waiting
// card with 1, 2, … cards already on the board, the number cycling with the
// round. There the advisor's own cell and the other likeliest cells (by the
// fast policy's worth, within the advisor's own pruning margin) are each
// followed through the same sampled futures, every later card placed by the
// advisor, and each finished board valued over every unseen starter.
//
// Picking the best cell on one half of the futures and scoring that pick
// against the advisor's cell on the other half (and the other way round)
// estimates, without the bias of taking a maximum, what the deeper step
// gains at that position. Its mean per stage, summed over the stages,
// estimates what it gains over a round. "Best on all" is the biased upper
// estimate: the best cell's mean over every future, less the advisor's.
//
//   advisor_headroom [--rounds N] [--seed S] [--futures F] [--stages A-B]
//                    [--candidates M] [--inner F,K,G] [--threads T]
//
// --stages studies positions with A … B cards on the board (1-14: all that
// have a choice worth studying; the first card's cells are all alike).
//
// --inner sets the effort of the advisor that plays the futures out
// (futures, finalists, final futures); by default a lighter one than the
// game's, which scores within a few tenths of it.

#include "advisor.h"
#include "botmatch.h"
#include "cards.h"
#include "lcgrandom.h"
#include "squareplay.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace advisor;

struct Options {
    long rounds = 140;
    std::uint32_t seed = 1;
    int futures = 128;
    int firstStage = 1;
    int lastStage = kCells - 2;
    int candidates = 5;
    Effort inner{48, 6.0, 2, 96};
    int threads = 2;
};

struct Study {
    int stage = 0;         // cards on the board when the studied card waits
    double gain = 0.0;     // half-and-half estimate of the deeper step's gain
    double bestOnAll = 0.0;
    bool advisorBest = false;
};

[[noreturn]] void usage(const char *why)
{
    std::fprintf(stderr, "advisor_headroom: %s\n"
                         "usage: advisor_headroom [--rounds N] [--seed S] [--futures F] [--stages A-B]\n"
                         "                        [--candidates M] [--inner F,K,G] [--threads T]\n",
                 why);
    std::exit(2);
}

long number(const char *text, long lo, long hi, const char *what)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi)
        usage((std::string("bad ") + what).c_str());
    return v;
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc)
            usage(("missing value after " + flag).c_str());
        const char *value = argv[++i];
        if (flag == "--rounds")
            o.rounds = number(value, 1, 1000000, "--rounds");
        else if (flag == "--seed")
            o.seed = static_cast<std::uint32_t>(number(value, 0, 4294967295L, "--seed"));
        else if (flag == "--futures")
            o.futures = static_cast<int>(number(value, 2, 100000, "--futures")) & ~1;
        else if (flag == "--stages") {
            int a = 0, b = 0;
            char tail = 0;
            if (std::sscanf(value, "%d-%d%c", &a, &b, &tail) != 2 || a < 1 || b < a || b > kCells - 2)
                usage("bad --stages (A-B, within 1-14)");
            o.firstStage = a;
            o.lastStage = b;
        }
        else if (flag == "--candidates")
            o.candidates = static_cast<int>(number(value, 1, kCells, "--candidates"));
        else if (flag == "--threads")
            o.threads = static_cast<int>(number(value, 1, 256, "--threads"));
        else if (flag == "--inner") {
            int f = 0, k = 0, g = 0;
            char tail = 0;
            if (std::sscanf(value, "%d,%d,%d%c", &f, &k, &g, &tail) != 3 || f < 1 || k < 1 || g < 0)
                usage("bad --inner (futures,finalists,final futures)");
            o.inner.futures = f;
            o.inner.finalists = k;
            o.inner.finalFutures = g;
        } else
            usage(("unknown option " + flag).c_str());
    }
    return o;
}

// The worth of a full board over every starter it leaves unseen.
double fullBoardWorth(const Position &position)
{
    Square square;
    for (int cell = 0; cell < kCells; ++cell) {
        square.reveal(position.board[cell]);
        square.place(cell, position.board[cell]);
    }
    return square.finalWorth();
}

// The round from `position` (its card already placed) when the cards of
// `future` come next and the advisor places each of them.
double playedByAdvisor(Position position, const int *future, int count, std::uint32_t seed, const Effort &effort)
{
    for (int i = 0; i < count; ++i) {
        position.card = future[i];
        position.board[advise(position, bot::mix(seed, 1, static_cast<std::uint64_t>(i)), effort).cell] = future[i];
    }
    return fullBoardWorth(position);
}

Study study(const bot::Deal &deal, long round, const Options &o)
{
    Study result;
    result.stage = o.firstStage + static_cast<int>(round % (o.lastStage - o.firstStage + 1));
    Position position;
    for (int i = 0; i < result.stage; ++i) {
        position.card = deal[i];
        position.board[advise(position, bot::mix(o.seed, round, i)).cell] = deal[i];
    }
    position.card = deal[result.stage];
    const int chosen = advise(position, bot::mix(o.seed, round, result.stage)).cell;

    // The candidates: the advisor's cell first, then the others by worth.
    const Square square(position);
    const LineWorth &worth = LineWorth::standard();
    double bestGain = square.gain(chosen, position.card, worth);
    std::vector<std::pair<double, int>> byWorth;
    for (int cell = 0; cell < kCells; ++cell)
        if (square.at(cell) == cards::kNoCard && cell != chosen && isRepresentative(square, cell)) {
            const double gain = square.gain(cell, position.card, worth);
            byWorth.push_back({-gain, cell});
            bestGain = std::max(bestGain, gain);
        }
    std::sort(byWorth.begin(), byWorth.end());
    std::vector<int> cells{chosen};
    for (const auto &[negativeGain, cell] : byWorth)
        if (static_cast<int>(cells.size()) < o.candidates && -negativeGain >= bestGain - Effort{}.prune)
            cells.push_back(cell);

    std::vector<int> unseen;
    for (int code = 1; code <= cards::kCardCount; ++code)
        if (code != position.card && std::find(position.board.begin(), position.board.end(), code) == position.board.end())
            unseen.push_back(code);
    const int toCome = kCells - 1 - result.stage;
    LcgRandom random(bot::mix(o.seed, round, 1000));
    std::vector<std::vector<double>> value(cells.size(), std::vector<double>(o.futures));
    for (int f = 0; f < o.futures; ++f) {
        for (int i = 0; i < toCome; ++i)
            std::swap(unseen[i], unseen[i + random.draw(static_cast<std::uint32_t>(unseen.size() - i))]);
        for (std::size_t k = 0; k < cells.size(); ++k) {
            Position next = position;
            next.board[cells[k]] = position.card;
            value[k][f] = playedByAdvisor(next, unseen.data(), toCome, bot::mix(o.seed, round * 100003 + f, 7), o.inner);
        }
    }

    auto mean = [&](std::size_t k, int from, int to) {
        double sum = 0.0;
        for (int f = from; f < to; ++f)
            sum += value[k][f];
        return sum / (to - from);
    };
    auto best = [&](int from, int to) {
        std::size_t b = 0;
        for (std::size_t k = 1; k < cells.size(); ++k)
            if (mean(k, from, to) > mean(b, from, to))
                b = k;
        return b;
    };
    const int half = o.futures / 2;
    const std::size_t onFirst = best(0, half), onSecond = best(half, o.futures), onAll = best(0, o.futures);
    result.gain = 0.5 * (mean(onFirst, half, o.futures) - mean(0, half, o.futures) + mean(onSecond, 0, half) - mean(0, 0, half));
    result.bestOnAll = mean(onAll, 0, o.futures) - mean(0, 0, o.futures);
    result.advisorBest = onAll == 0;
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parse(argc, argv);
    const auto deals = bot::dealsFrom(o.seed, o.rounds);
    std::vector<Study> studies(static_cast<std::size_t>(o.rounds));
    std::atomic<long> next{0};
    auto work = [&] {
        for (long r; (r = next.fetch_add(1)) < o.rounds;)
            studies[static_cast<std::size_t>(r)] = study(deals[static_cast<std::size_t>(r)], r, o);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < o.threads; ++t)
        pool.emplace_back(work);
    work();
    for (auto &t : pool)
        t.join();

    std::printf("%ld rounds from seed %u, %d futures per cell, up to %d cells, inner effort %d,%d,%d\n\n", o.rounds,
                o.seed, o.futures, o.candidates, o.inner.futures, o.inner.finalists, o.inner.finalFutures);
    std::printf("cards on board  positions  gain (95 %%)        best on all  advisor's cell best\n");
    double total = 0.0, totalVariance = 0.0, totalBest = 0.0, totalBestVariance = 0.0;
    for (int stage = o.firstStage; stage <= o.lastStage; ++stage) {
        double sum = 0.0, squares = 0.0, bestSum = 0.0, bestSquares = 0.0;
        int n = 0, advisorBest = 0;
        for (const Study &s : studies)
            if (s.stage == stage) {
                sum += s.gain;
                squares += s.gain * s.gain;
                bestSum += s.bestOnAll;
                bestSquares += s.bestOnAll * s.bestOnAll;
                advisorBest += s.advisorBest;
                ++n;
            }
        if (n == 0)
            continue;
        const double m = sum / n;
        // The variance of a stage's mean, from its positions' spread.
        auto meanVariance = [n](double values, double squareValues) {
            const double mean = values / n;
            return n > 1 ? std::max(0.0, (squareValues - n * mean * mean) / (n - 1)) / n : 0.0;
        };
        const double variance = meanVariance(sum, squares);
        total += m;
        totalVariance += variance;
        totalBest += bestSum / n;
        totalBestVariance += meanVariance(bestSum, bestSquares);
        std::printf("%15d  %9d  %+7.3f ± %5.3f  %+11.3f  %10d of %d\n", stage, n, m, 1.96 * std::sqrt(variance),
                    bestSum / n, advisorBest, n);
    }
    std::printf("\nover a round: gain %+.3f ± %.3f, best on all %+.3f ± %.3f\n", total, 1.96 * std::sqrt(totalVariance),
                totalBest, 1.96 * std::sqrt(totalBestVariance));
}
