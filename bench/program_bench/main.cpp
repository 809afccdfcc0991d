// Figures for the program as a player meets it, each beside a peer
// measured in the same run:
//
//   program_bench startup [RUNS]        process start → main window first
//                                       painted, the real program against
//                                       a bare QMainWindow with one label,
//                                       RUNS fresh processes of each
//   program_bench memory [GAMES]        VmRSS / VmHWM after start and after
//                                       GAMES games played through the main
//                                       window's handlers, against the bare
//                                       window
//   program_bench tally [FOLDER] [SEC]  load and save of a full tally file
//                                       against plain file calls and the
//                                       atomic writer on the same bytes;
//                                       the GUI thread's time per tally
//                                       change against the same change
//                                       waiting for its write
//   program_bench stall [KIB] [KIB/S]   the GUI thread's longest stall
//                                       during ten games, then while the
//                                       update check, the list, a posting
//                                       and an installer download of KIB
//                                       KiB at KIB/S run against a slow
//                                       loopback server, against the idle
//                                       GUI thread; with the events and
//                                       handlers that took the time
//
// Not a test: it prints figures. Lines starting with "FIGURE\t" carry
// name, value, unit, peer name, peer value and ratio for the runner
// script's table. The display comes from the environment (QT_QPA_PLATFORM
// or DISPLAY), the same for the program and its peer.

#include "firstpaint.h"
#include "program_bench.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: program_bench startup [RUNS] | memory [GAMES] | tally [FOLDER] [SECONDS] | "
                         "stall [INSTALLER_KIB] [KIB_PER_SECOND]\n");
    return 2;
}

int positive(const char *text, int fallback)
{
    if (!text)
        return fallback;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > 100'000)
        throw std::invalid_argument(std::string("not a count: ") + text);
    return int(value);
}

} // namespace

int main(int argc, char *argv[])
{
    programbench::noteMainStarted();
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    const auto arg = [&](int i) -> const char * { return i < argc ? argv[i] : nullptr; };
    try {
        if (mode == "startup")
            return programbench::startupBench(positive(arg(2), 15));
        if (mode == "startup-child" && argc == 4)
            return programbench::startupChild(argv[2], argv[3], argv[0]);
        if (mode == "memory")
            return programbench::memoryBench(positive(arg(2), 10));
        if (mode == "memory-child" && argc == 6)
            return programbench::memoryChild(argv[2], argv[3], argv[4], positive(argv[5], 10), argv[0]);
        if (mode == "tally") {
            const fs::path folder =
                arg(2) ? fs::path(argv[2]) : fs::temp_directory_path() / ("pegsquare-tally-" + std::to_string(::getpid()));
            const double seconds = arg(3) ? std::stod(argv[3]) : 1.0;
            const int status = programbench::tallyBench(folder, seconds);
            if (!arg(2))
                fs::remove_all(folder);
            return status;
        }
        if (mode == "stall")
            return programbench::stallBench(positive(arg(2), 1536), positive(arg(3), 64), argv[0]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "program_bench %s: %s\n", mode.c_str(), error.what());
        return 1;
    }
    return usage();
}
