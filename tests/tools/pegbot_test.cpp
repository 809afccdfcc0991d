// Runs the real pegbot executable: its figures, and its answers to bad
// options.
#include "toolrun.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

ToolResult run(const std::string &arguments)
{
    return runTool(PEGBOT_PATH, arguments);
}

// One strategy's figure from pegbot's JSON.
double figure(const std::string &json, const std::string &strategy, const std::string &key)
{
    const std::regex entry("\\{\"strategy\": \"" + strategy + "\"[^}]*\"" + key + "\": ([0-9.]+)");
    std::smatch m;
    if (!std::regex_search(json, m, entry))
        return -1.0;
    return std::stod(m[1]);
}

TEST(Pegbot, RejectsBadOptionsWithStatusTwo)
{
    struct Row {
        const char *arguments;
        const char *message;
    };
    const Row rows[] = {
        {"--rounds 0", "--rounds needs a whole number from 1 to 1000000"},
        {"--rounds 99999999999999999999", "--rounds needs a whole number from 1 to 1000000"},
        {"--rounds ten", "--rounds needs a whole number from 1 to 1000000"},
        {"--rounds", "--rounds needs a whole number from 1 to 1000000"},
        {"--seed -1", "--seed needs a whole number from 0 to 4294967295"},
        {"--seed 4294967296", "--seed needs a whole number from 0 to 4294967295"},
        {"--threads 0", "--threads needs a whole number from 1 to 256"},
        {"--strategy clever", "--strategy needs random, greedy, advisor"},
        {"--strategy random,", "--strategy needs random, greedy, advisor"},
        {"--futures 0", "--futures needs a whole number from 1 to 100000"},
        {"--final-futures -1", "--final-futures needs a whole number from 0 to 100000"},
        {"--fast", "unknown option --fast"},
        {"--review", "--review needs a round written as pegsquare-round:SEED:CELLS"},
        {"--review pegsquare-round:1:0123456789abcdee", "--review needs a round written as"},
    };
    for (const Row &row : rows) {
        const ToolResult r = run(row.arguments);
        EXPECT_EQ(r.status, 2) << row.arguments;
        EXPECT_NE(r.err.find(std::string("pegbot: ") + row.message), std::string::npos) << row.arguments << ": " << r.err;
        EXPECT_NE(r.err.find("usage: pegbot"), std::string::npos) << row.arguments;
        EXPECT_EQ(r.out, "") << row.arguments;
    }
}

// On the same deals the advisor outscores the greedy baseline, which
// outscores random placement, by margins far beyond the noise of the run.
TEST(Pegbot, StrategiesRankAsTheyShould)
{
    const ToolResult r = run("--rounds 120 --seed 3 --threads 2 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const double random = figure(r.out, "random", "mean");
    const double greedy = figure(r.out, "greedy", "mean");
    const double advisor = figure(r.out, "advisor", "mean");
    EXPECT_GT(greedy, random + 3 * figure(r.out, "random", "ci95")) << r.out;
    EXPECT_GT(advisor, greedy + 2 * figure(r.out, "greedy", "ci95")) << r.out;
    for (const char *s : {"random", "greedy", "advisor"}) {
        const double clear = figure(r.out, s, "clear_rate");
        EXPECT_GE(clear, 0.0) << s;
        EXPECT_LE(clear, 1.0) << s;
        // A game holds at least its last round, and every cleared round
        // before it scored 55 or more.
        EXPECT_GE(figure(r.out, s, "game_mean"), figure(r.out, s, "mean") - 1e-9) << s;
        EXPECT_GT(figure(r.out, s, "worst"), 0.0) << s;
    }
    EXPECT_GT(figure(r.out, "advisor", "clear_rate"), figure(r.out, "random", "clear_rate"));
}

// The figures depend on the seed only, not on how many threads share the
// rounds.
TEST(Pegbot, FiguresDoNotDependOnTheThreads)
{
    auto scores = [](const std::string &out) {
        return std::regex_replace(out, std::regex("\"(threads|decision_ms)\": (\\{[^}]*\\}|[0-9]+)"), "");
    };
    const ToolResult one = run("--rounds 12 --seed 9 --threads 1 --json");
    const ToolResult four = run("--rounds 12 --seed 9 --threads 4 --json");
    const ToolResult other = run("--rounds 12 --seed 10 --threads 1 --json");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(scores(one.out), scores(four.out));
    EXPECT_NE(scores(one.out), scores(other.out));
}

// A round reviewed as text and as JSON: the same figures, sixteen
// placements, and the round named as it was given.
TEST(Pegbot, ReviewsAPlayedRound)
{
    const std::string round = "pegsquare-round:12345:0123456789abcdef";
    const ToolResult text = run("--review " + round);
    const ToolResult json = run("--review " + round + " --json");
    ASSERT_EQ(text.status, 0) << text.err;
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(text.out.find("review of " + round), std::string::npos) << text.out;
    const std::regex totals("your round ([0-9]+); expected points lost ([0-9.]+); the advisor on these cards made ([0-9]+)");
    std::smatch t;
    ASSERT_TRUE(std::regex_search(text.out, t, totals)) << text.out;
    const std::regex jsonTotals("\"score\": ([0-9]+), \"total_lost\": ([0-9.]+), \"advisor_score\": ([0-9]+)");
    std::smatch j;
    ASSERT_TRUE(std::regex_search(json.out, j, jsonTotals)) << json.out;
    EXPECT_EQ(t[1], j[1]);
    EXPECT_NEAR(std::stod(t[2]), std::stod(j[2]), 0.01);
    EXPECT_EQ(t[3], j[3]);
    const std::regex mark("\"mark\": \"(good|inaccuracy|mistake|blunder)\"");
    EXPECT_EQ(std::distance(std::sregex_iterator(json.out.begin(), json.out.end(), mark), std::sregex_iterator()), 16);
}

} // namespace
