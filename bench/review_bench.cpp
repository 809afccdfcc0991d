// review_bench: what a round's review costs and how far its figures can
// be trusted.
//
//   review_bench [ROUNDS]   (default 20)
//
// 1. Time: a whole round's review on one thread, against the peer of the
//    advisor playing the same round alone (the review's second half).
// 2. Steadiness: the points lost at a placement judged on independent sets
//    of futures, as the standard deviation over those sets, for several
//    numbers of futures.
// 3. Spread: the points lost per placement by random, greedy and advisor
//    play, as percentiles, from which the marks' limits were chosen.
#include "botmatch.h"
#include "lcgrandom.h"
#include "review.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

} // namespace

int main(int argc, char **argv)
{
    const long rounds = argc > 1 ? std::clamp(std::atol(argv[1]), 1L, 1000L) : 20;
    const std::vector<bot::Deal> deals = bot::dealsFrom(7, rounds);
    LcgRandom seeds(99);

    // 1. Time of a review against the advisor alone on the same cards.
    std::vector<double> reviewMs;
    std::vector<double> advisorMs;
    for (long r = 0; r < rounds; ++r) {
        review::Round round;
        round.seed = seeds.draw(0xffffffffu);
        const bot::Deal deal = bot::dealsFrom(round.seed, 1).front();
        const bot::RoundResult played = bot::playRound(deal, bot::Strategy::Greedy, round.seed);
        round.cells = played.cells;
        auto start = Clock::now();
        (void)bot::playRound(deal, bot::Strategy::Advisor, round.seed);
        advisorMs.push_back(msSince(start));
        start = Clock::now();
        const auto result = review::reviewRound(round);
        reviewMs.push_back(msSince(start));
        if (!result)
            return 1;
    }
    const double reviewMedian = percentile(reviewMs, 0.5);
    const double advisorMedian = percentile(advisorMs, 0.5);
    std::printf("review of a round: median %.0f ms, worst %.0f ms; the advisor alone on the same cards: median %.0f ms "
                "(review / advisor %.2f)\n",
                reviewMedian, percentile(reviewMs, 1.0), advisorMedian, reviewMedian / advisorMedian);

    // 2. Steadiness of the points lost at a placement (greedy play, so that
    // losses are not all zero), over independent sets of futures.
    std::printf("\npoints lost, standard deviation over %d sets of futures (mean over placements):\n", 8);
    for (int futures : {250, 500, 1000, 2000, 4000}) {
        double sumSd = 0.0;
        double worstSd = 0.0;
        int n = 0;
        for (long r = 0; r < std::min(rounds, 4L); ++r) {
            const bot::RoundResult played = bot::playRound(deals[r], bot::Strategy::Greedy, 5);
            for (int k = 0; k < review::kCards - 1; k += 3) {
                advisor::Position at;
                for (int j = 0; j < k; ++j)
                    at.board[played.cells[j]] = deals[r][j];
                at.card = deals[r][k];
                std::vector<double> lost;
                for (std::uint32_t s = 1; s <= 8; ++s) {
                    const auto values = advisor::cellValues(at, s * 7919u, futures);
                    double best = -1e9;
                    for (double v : values)
                        if (!std::isnan(v))
                            best = std::max(best, v);
                    lost.push_back(best - values[played.cells[k]]);
                }
                double mean = 0.0;
                for (double l : lost)
                    mean += l;
                mean /= static_cast<double>(lost.size());
                double var = 0.0;
                for (double l : lost)
                    var += (l - mean) * (l - mean);
                const double sd = std::sqrt(var / static_cast<double>(lost.size() - 1));
                sumSd += sd;
                worstSd = std::max(worstSd, sd);
                ++n;
            }
        }
        std::printf("  %5d futures: mean sd %.3f, worst sd %.3f (%d placements)\n", futures, sumSd / n, worstSd, n);
    }

    // 3. Spread of the points lost per placement by each kind of play.
    std::printf("\npoints lost per placement, percentiles (50 / 75 / 90 / 95 / 99), and mean lost per round:\n");
    for (bot::Strategy strategy : {bot::Strategy::Random, bot::Strategy::Greedy, bot::Strategy::Advisor}) {
        std::vector<double> losses;
        double roundLoss = 0.0;
        for (long r = 0; r < rounds; ++r) {
            review::Round round;
            round.seed = static_cast<std::uint32_t>(1000 + r);
            const bot::Deal deal = bot::dealsFrom(round.seed, 1).front();
            round.cells = bot::playRound(deal, strategy, round.seed).cells;
            advisor::Position position;
            for (int k = 0; k < review::kCards; ++k) {
                position.card = deal[k];
                const auto judged = review::judge(position, round.cells[k]);
                if (!judged)
                    return 1;
                losses.push_back(judged->lost);
                roundLoss += judged->lost;
                position.board[round.cells[k]] = deal[k];
            }
        }
        std::printf("  %-8s %5.2f / %5.2f / %5.2f / %5.2f / %5.2f   per round %.1f\n", bot::strategyName(strategy),
                    percentile(losses, 0.5), percentile(losses, 0.75), percentile(losses, 0.9),
                    percentile(losses, 0.95), percentile(losses, 0.99), roundLoss / static_cast<double>(rounds));
    }
    return 0;
}
