// Runs the real pegscore executable as a player would.
#include "toolrun.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Result = ToolResult;

Result run(const std::string &arguments, const std::string &input = {})
{
    return runTool(PEGSCORE_PATH, arguments, input);
}

TEST(Pegscore, ScoresHandsFromEveryKindOfInput)
{
    struct Row {
        const char *name;
        std::string arguments;
        std::string input;
        std::string out;
    };
    const std::string twentyNine = "nob 1 sets 12 runs 0 flush 0 fifteens 16 total 29\n";
    const std::string seven = "nob 0 sets 2 runs 3 flush 0 fifteens 2 total 7\n";
    const Row rows[] = {
        {"one quoted argument", "'5C 5D 5S JH 5H'", "", twentyNine},
        {"five card arguments", "5c 5d 5s jh 5h", "", twentyNine},
        {"two quoted hands", "'5C 5D 5S JH 5H' 'AC 2D 3H 7S 7C'", "", twentyNine + seven},
        {"standard input", "", "5C 5D 5S JH 5H\n\nAC 2D 3H 7S 7C\r\n", twentyNine + seven},
    };
    for (const Row &row : rows) {
        const Result r = run(row.arguments, row.input);
        EXPECT_EQ(r.out, row.out) << row.name;
        EXPECT_EQ(r.err, "") << row.name;
        EXPECT_EQ(r.status, 0) << row.name;
    }
}

TEST(Pegscore, MalformedHandsAreReportedAndTheRestScored)
{
    const Result r = run("", "5C 5D 5S JH 5H\n5C 5D 5S\nAC 2D 3H 7S 7C\nAC AC 3H 7S 7C\nQX 2D 3H 7S 7C\n");
    EXPECT_EQ(r.out, "nob 1 sets 12 runs 0 flush 0 fifteens 16 total 29\n"
                     "nob 0 sets 2 runs 3 flush 0 fifteens 2 total 7\n");
    EXPECT_EQ(r.err, "pegscore: hand 2: expected 5 cards (4 and the starter), got 3\n"
                     "pegscore: hand 4: AC appears twice\n"
                     "pegscore: hand 5: unknown card 'QX'\n");
    EXPECT_EQ(r.status, 2);
}

TEST(Pegscore, HelpExplainsTheNotation)
{
    const Result r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *word : {"ranks", "suits", "starter", "10 (or T)"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

} // namespace
