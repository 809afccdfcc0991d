#pragma once

// The measurements of program_bench, one per command-line mode; each
// prints its figures and returns the process's exit status (0 when it
// measured everything). Failures to set a measurement up throw
// std::exception.

#include <filesystem>
#include <string>

namespace programbench {

// RUNS fresh processes each of the program and of a bare window, timed from
// spawn to the first painted main window.
int startupBench(int runs);
// The child of startupBench: "game" or "bare", the update check sent to
// `host`.
int startupChild(const std::string &which, const std::string &host, char *argv0);

// Resident memory after start and after GAMES games, against a bare window.
int memoryBench(int games);
// The child of memoryBench, playing in the player's `folder`.
int memoryChild(const std::string &which, const std::string &folder, const std::string &host, int games,
                char *argv0);

// The tally's load and save in `folder`, each operation timed for about
// `seconds`.
int tallyBench(const std::filesystem::path &folder, double seconds);

// The GUI thread's stalls while the online parts run against a slow
// server, the installer being `installerKiB` KiB sent at `kibPerSecond`.
int stallBench(int installerKiB, int kibPerSecond, char *argv0);

} // namespace programbench
