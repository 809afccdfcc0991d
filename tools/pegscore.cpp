// pegscore: scores cribbage-square lines from the command line.
//
//   pegscore "5C 5D 5S JH 5H" "AC 2D 3H 7S 7C"
//   pegscore 5C 5D 5S JH 5H
//   printf '5C 5D 5S JH 5H\n' | pegscore
#include "handnotation.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitMalformed = 2;

const char kHelp[] =
    "usage: pegscore [HAND ...]\n"
    "\n"
    "Scores Pegsquare lines: the four cards of a row or column and the\n"
    "starter, written last. Each argument is one hand; when the arguments are\n"
    "single cards they form one hand together. Without arguments, hands are\n"
    "read from standard input, one per line (blank lines are skipped).\n"
    "\n"
    "A card is a rank and a suit, in upper or lower case:\n"
    "  ranks  A 2 3 4 5 6 7 8 9 10 (or T) J Q K\n"
    "  suits  C clubs, D diamonds, H hearts, S spades\n"
    "\n"
    "Example:  pegscore \"5C 5D 5S JH 5H\"\n"
    "  nob 1 sets 12 runs 0 flush 0 fifteens 16 total 29\n"
    "\n"
    "A Jack of the starter's suit scores the nob (a Jack starter scores it in\n"
    "every line). A malformed hand is reported on standard error; the other\n"
    "hands are still scored and the exit status is 2.\n";

bool hasBlank(const char *text)
{
    return std::strpbrk(text, " \t") != nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<std::string> hands;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kHelp;
            return 0;
        }
    }
    bool anyBlank = false;
    for (int i = 1; i < argc; ++i)
        anyBlank = anyBlank || hasBlank(argv[i]);
    if (argc > 1 && !anyBlank) {
        std::string joined;
        for (int i = 1; i < argc; ++i)
            joined += std::string(argv[i]) + ' ';
        hands.push_back(joined);
    } else if (argc > 1) {
        for (int i = 1; i < argc; ++i)
            hands.emplace_back(argv[i]);
    }
    const bool fromInput = argc == 1;

    int status = 0;
    int number = 0;
    auto scoreOne = [&](const std::string &line) {
        ++number;
        const notation::ParsedHand hand = notation::parseHand(line);
        if (!hand.error.empty()) {
            std::cerr << "pegscore: hand " << number << ": " << hand.error << '\n';
            status = kExitMalformed;
            return;
        }
        std::cout << notation::describeScore(hand.codes) << '\n';
    };
    if (fromInput) {
        for (std::string line; std::getline(std::cin, line);) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) {
                ++number;
                continue;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            scoreOne(line);
        }
    } else {
        for (const std::string &hand : hands)
            scoreOne(hand);
    }
    return status;
}
