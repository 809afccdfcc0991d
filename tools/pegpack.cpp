// pegpack: compresses files into the game's container format and restores
// them, for players who want to look into their tally file and for support.
//
//   pegpack c [-m fast|good|auto] IN OUT
//   pegpack d IN OUT
//   pegpack advise IN

#include "lzrw1.h"

#include <array>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// ---- Leaving no partial file behind when interrupted ----
//
// The container writes a regular output as "<target>.pegtmp<pid>-<n>"
// beside it (the target being the file a link points to), taking the first
// n whose name is free, and renames it into place once the call succeeds.
// Interrupting pegpack before then would leave that partial file, often
// many megabytes, next to the output. Its likely names are written into
// fixed buffers before the call starts, so that the handler only has to
// unlink them and end the process: nothing else is safe in a handler.
// The naming is the container's (FileSink in codecs/lzrw1.cpp), which
// does not publish it; tests/tools/test_pegpack.cpp notices a drift.

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kTempCandidates = 4; // free names, in the order the container tries them
constexpr int kMaxTempSuffix = 100;

std::array<std::array<char, PATH_MAX>, kTempCandidates> g_tempPaths{};

extern "C" void removeTempAndEnd(int sig)
{
    for (const auto &path : g_tempPaths) {
        if (path[0] != '\0')
            ::unlink(path.data());
    }
    // End the way the signal would have, so the caller sees it in our
    // status. It is blocked while this handler runs: unblock it, or the
    // raise would only wait for the return.
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(sig);
    ::_exit(128 + sig);
}

// Where the container will write beside, resolved the way it resolves it,
// or nothing when it writes the output in place (an existing path that is
// not a regular file, such as a terminal: there is nothing to remove).
std::optional<fs::path> containerTarget(const std::string &output)
{
    std::error_code ec;
    fs::path target(output);
    const fs::file_status status = fs::status(target, ec);
    if (!ec && fs::exists(status)) {
        if (!fs::is_regular_file(status))
            return std::nullopt;
        const fs::path resolved = fs::canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    return fs::absolute(target, ec);
}

void prepareTempPaths(const std::string &output)
{
    const std::optional<fs::path> target = containerTarget(output);
    if (!target || target->empty())
        return;
    const std::string stem = target->string() + ".pegtmp" + std::to_string(::getpid()) + "-";
    int filled = 0;
    for (int n = 0; n < kMaxTempSuffix && filled < kTempCandidates; ++n) {
        const std::string name = stem + std::to_string(n);
        std::error_code ec;
        if (fs::symlink_status(name, ec).type() != fs::file_type::not_found)
            continue; // the container skips it too; it is not ours to remove
        if (name.size() >= PATH_MAX)
            return; // the container cannot create it either
        name.copy(g_tempPaths[filled].data(), name.size());
        g_tempPaths[filled][name.size()] = '\0';
        ++filled;
    }
}

// Called before the container starts writing `output`. A signal that was
// ignored when pegpack started (nohup, background jobs) stays ignored.
void cleanUpOnSignals(const std::string &output)
{
    prepareTempPaths(output);
    struct sigaction action {};
    action.sa_handler = removeTempAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int sig : kCleanedSignals)
        sigaddset(&action.sa_mask, sig);
    for (const int sig : kCleanedSignals) {
        struct sigaction previous {};
        if (::sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(sig, &action, nullptr);
    }
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage()
{
    std::fputs("usage: pegpack c [-m fast|good|auto] IN OUT   compress IN into the container OUT\n"
               "       pegpack d IN OUT                       restore the container IN to OUT\n"
               "       pegpack advise IN                      name the method suited to IN\n"
               "The default method is fast, the one the tally file uses.\n",
               stderr);
    return kExitUsage;
}

std::optional<TCompressMode> parseMode(std::string_view text)
{
    if (text == "fast")
        return TCompressMode::Fast;
    if (text == "good")
        return TCompressMode::Good;
    if (text == "auto")
        return TCompressMode::Auto;
    return std::nullopt;
}

const char *modeName(TCompressMode mode)
{
    return mode == TCompressMode::Fast ? "fast" : "good";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string_view command = argv[1];
    try {
        Tlzrw1 container;
        if (command == "c") {
            int arg = 2;
            TCompressMode mode = TCompressMode::Fast;
            if (argc > arg && std::string_view(argv[arg]) == "-m") {
                if (argc <= arg + 1)
                    return usage();
                const auto parsed = parseMode(argv[arg + 1]);
                if (!parsed)
                    return usage();
                mode = *parsed;
                arg += 2;
            }
            if (argc != arg + 2)
                return usage();
            container.InputFile = argv[arg];
            container.OutputFile = argv[arg + 1];
            container.CompressMode = mode;
            cleanUpOnSignals(container.OutputFile);
            const std::int64_t written = container.Compress();
            std::printf("%s -> %s: %lld bytes written\n", container.InputFile.c_str(),
                        container.OutputFile.c_str(), static_cast<long long>(written));
            return 0;
        }
        if (command == "d") {
            if (argc != 4)
                return usage();
            container.InputFile = argv[2];
            container.OutputFile = argv[3];
            cleanUpOnSignals(container.OutputFile);
            const std::int64_t restored = container.Decompress();
            std::printf("%s -> %s: %lld bytes restored\n", container.InputFile.c_str(),
                        container.OutputFile.c_str(), static_cast<long long>(restored));
            return 0;
        }
        if (command == "advise") {
            if (argc != 3)
                return usage();
            container.InputFile = argv[2];
            std::printf("%s\n", modeName(container.Advise()));
            return 0;
        }
        return usage();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailure;
    }
}
