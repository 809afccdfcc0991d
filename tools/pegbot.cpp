// pegbot: plays seeded rounds of Pegsquare under a placement strategy and
// reports how well it scores. `--seed S` deals exactly what the game deals
// for that seed, round after round. `--review ROUND` judges a round a
// player has played, placement by placement.
#include "botmatch.h"
#include "handnotation.h"
#include "review.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kUsage[] =
    "usage: pegbot [--rounds N] [--seed S] [--strategy LIST] [--threads N] [--json]\n"
    "  --rounds N       rounds to play, 1 to 1000000 (default 1000)\n"
    "  --seed S         the game's seed for the first deal, 0 to 4294967295 (default 1)\n"
    "  --strategy LIST  random, greedy, advisor, or a comma-separated list (default all three)\n"
    "  --threads N      worker threads, 1 to 256 (default: the processors)\n"
    "  --futures N      the advisor's sampled futures per cell, 1 to 100000 (default 160)\n"
    "  --prune X        the advisor skips cells this far below the best worth, 0 to 1000 (default 6)\n"
    "  --finalists N    the advisor's best cells played out again, 1 to 16 (default 3)\n"
    "  --final-futures N  futures for that second look, 0 to 100000 (default 480)\n"
    "  --json           print the figures as JSON\n"
    "\n"
    "usage: pegbot --review ROUND [--json]\n"
    "  judges each placement of a played round against the advisor's best cell;\n"
    "  ROUND is the line the game's review window copies, pegsquare-round:SEED:CELLS\n"
    "  (SEED the generator's state before the round's shuffle, CELLS sixteen hex\n"
    "  digits: the cell, 0 top left to f bottom right, of each card in dealing\n"
    "  order), or - to read that line from standard input\n";

struct Options {
    long rounds = 1000;
    std::uint32_t seed = 1;
    std::vector<bot::Strategy> strategies{bot::Strategy::Random, bot::Strategy::Greedy, bot::Strategy::Advisor};
    int threads = 0;
    bool json = false;
    std::string review;  // the round to review; empty to play rounds
    advisor::Effort effort;
};

int fail(const std::string &message)
{
    std::fprintf(stderr, "pegbot: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// A whole decimal number within [low, high].
bool parseNumber(const char *text, long long low, long long high, long long &value)
{
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ')
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool parseStrategies(const std::string &list, std::vector<bot::Strategy> &out)
{
    out.clear();
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        bot::Strategy s;
        if (!bot::parseStrategy(name, s))
            return false;
        out.push_back(s);
    }
    return !out.empty() && list.back() != ',';
}

void printText(const Options &o, int threads, const std::vector<bot::Summary> &all)
{
    std::printf("pegbot: %ld rounds from seed %u on %d thread%s\n", o.rounds, o.seed, threads, threads == 1 ? "" : "s");
    std::printf("%-8s %20s %8s %12s %7s %18s\n", "strategy", "round score (95% CI)", "cleared", "game score",
                "games", "decision ms (med/max)");
    for (const bot::Summary &s : all)
        std::printf("%-8s %9.2f +/- %6.2f %7.1f%% %12.2f %7ld %9.3f / %.3f\n", bot::strategyName(s.strategy), s.mean,
                    s.ci95, 100.0 * s.clearRate, s.gameMean, s.games, s.decisionMedianMs, s.decisionWorstMs);
}

void printJson(const Options &o, int threads, const std::vector<bot::Summary> &all)
{
    std::printf("{\"rounds\": %ld, \"seed\": %u, \"threads\": %d, \"strategies\": [", o.rounds, o.seed, threads);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bot::Summary &s = all[i];
        std::printf("%s\n  {\"strategy\": \"%s\", \"rounds\": %ld, \"mean\": %.4f, \"ci95\": %.4f, "
                    "\"clear_rate\": %.4f, \"games\": %ld, \"game_mean\": %.4f, "
                    "\"decision_ms\": {\"median\": %.4f, \"worst\": %.4f}}",
                    i ? "," : "", bot::strategyName(s.strategy), s.rounds, s.mean, s.ci95, s.clearRate, s.games,
                    s.gameMean, s.decisionMedianMs, s.decisionWorstMs);
    }
    std::printf("\n]}\n");
}

// "R2C3" for cell 6: row and column from 1.
std::string cellName(int cell)
{
    return "R" + std::to_string(cell / 4 + 1) + "C" + std::to_string(cell % 4 + 1);
}

void printReviewText(const review::Round &round, const review::Review &r)
{
    std::printf("pegbot: review of %s\n", review::formatRound(round).c_str());
    std::printf("%-4s %-4s %-5s %-5s %9s %9s %6s  %s\n", "card", "", "cell", "best", "expected", "best exp", "lost",
                "mark");
    for (int k = 0; k < review::kCards; ++k) {
        const review::Placement &p = r.placements[k];
        std::printf("%4d %-4s %-5s %-5s %9.2f %9.2f %6.2f  %s\n", k + 1, notation::cardName(p.card).c_str(),
                    cellName(p.cell).c_str(), cellName(p.bestCell).c_str(), p.expected, p.bestExpected, p.lost,
                    review::markName(p.mark));
    }
    std::printf("starter %s; your round %d; expected points lost %.2f; the advisor on these cards made %d\n",
                notation::cardName(r.starter).c_str(), r.score, r.totalLost, r.advisorScore);
}

void printReviewJson(const review::Round &round, const review::Review &r)
{
    std::printf("{\"round\": \"%s\", \"starter\": \"%s\", \"score\": %d, \"total_lost\": %.4f, "
                "\"advisor_score\": %d, \"placements\": [",
                review::formatRound(round).c_str(), notation::cardName(r.starter).c_str(), r.score, r.totalLost,
                r.advisorScore);
    for (int k = 0; k < review::kCards; ++k) {
        const review::Placement &p = r.placements[k];
        std::printf("%s\n  {\"card\": \"%s\", \"cell\": %d, \"best_cell\": %d, \"expected\": %.4f, "
                    "\"best_expected\": %.4f, \"lost\": %.4f, \"mark\": \"%s\", \"advisor_cell\": %d}",
                    k ? "," : "", notation::cardName(p.card).c_str(), p.cell, p.bestCell, p.expected, p.bestExpected,
                    p.lost, review::markName(p.mark), r.advisorCells[k]);
    }
    std::printf("\n]}\n");
}

int runReview(const Options &o)
{
    std::string line = o.review;
    if (line == "-") {
        // One line is all a round takes; a longer one is not a round.
        constexpr std::size_t kLongestLine = 256;
        line.clear();
        for (int c; (c = std::getchar()) != EOF && c != '\n';) {
            if (line.size() >= kLongestLine)
                return fail("--review: standard input holds no round");
            line += static_cast<char>(c);
        }
    }
    const std::optional<review::Round> round = review::parseRound(line);
    if (!round)
        return fail("--review needs a round written as pegsquare-round:SEED:CELLS");
    const std::optional<review::Review> judged = review::reviewRound(*round);
    if (!judged)
        return fail("--review: the round could not be reviewed");
    if (o.json)
        printReviewJson(*round, *judged);
    else
        printReviewText(*round, *judged);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    // The options that take a whole number: name, range and where it goes.
    struct NumberOption {
        const char *name;
        long long low;
        long long high;
        std::function<void(long long)> set;
    };
    const NumberOption numbers[] = {
        {"--rounds", 1, 1000000, [&](long long n) { o.rounds = static_cast<long>(n); }},
        {"--seed", 0, 4294967295LL, [&](long long n) { o.seed = static_cast<std::uint32_t>(n); }},
        {"--threads", 1, 256, [&](long long n) { o.threads = static_cast<int>(n); }},
        {"--futures", 1, 100000, [&](long long n) { o.effort.futures = static_cast<int>(n); }},
        {"--prune", 0, 1000, [&](long long n) { o.effort.prune = static_cast<double>(n); }},
        {"--finalists", 1, 16, [&](long long n) { o.effort.finalists = static_cast<int>(n); }},
        {"--final-futures", 0, 100000, [&](long long n) { o.effort.finalFutures = static_cast<int>(n); }},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--json") {
            o.json = true;
            continue;
        }
        const NumberOption *number = nullptr;
        for (const NumberOption &candidate : numbers)
            if (arg == candidate.name)
                number = &candidate;
        long long n = 0;
        if (number) {
            if (!parseNumber(value, number->low, number->high, n))
                return fail(arg + " needs a whole number from " + std::to_string(number->low) + " to "
                            + std::to_string(number->high));
            number->set(n);
        } else if (arg == "--review") {
            if (!value)
                return fail("--review needs a round written as pegsquare-round:SEED:CELLS");
            o.review = value;
        } else if (arg == "--strategy") {
            if (!value || !parseStrategies(value, o.strategies))
                return fail("--strategy needs random, greedy, advisor or a comma-separated list of them");
        } else {
            return fail("unknown option " + arg);
        }
        ++i;
    }
    if (!o.review.empty())
        return runReview(o);
    const int threads = o.threads > 0 ? o.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    const std::vector<bot::Deal> deals = bot::dealsFrom(o.seed, o.rounds);
    std::vector<bot::Summary> all;
    for (bot::Strategy s : o.strategies)
        all.push_back(bot::playAll(deals, s, o.seed, threads, o.effort));
    if (o.json)
        printJson(o, threads, all);
    else
        printText(o, threads, all);
    return 0;
}
