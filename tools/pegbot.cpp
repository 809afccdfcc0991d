// pegbot: plays seeded rounds of Pegsquare under a placement strategy and
// reports how well it scores. `--seed S` deals exactly what the game deals
// for that seed, round after round.
#include "botmatch.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
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
    "  --json           print the figures as JSON\n";

struct Options {
    long rounds = 1000;
    std::uint32_t seed = 1;
    std::vector<bot::Strategy> strategies{bot::Strategy::Random, bot::Strategy::Greedy, bot::Strategy::Advisor};
    int threads = 0;
    bool json = false;
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
        } else if (arg == "--strategy") {
            if (!value || !parseStrategies(value, o.strategies))
                return fail("--strategy needs random, greedy, advisor or a comma-separated list of them");
        } else {
            return fail("unknown option " + arg);
        }
        ++i;
    }
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
