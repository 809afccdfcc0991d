// pegpack: compresses files into the game's container format and restores
// them, for players who want to look into their tally file and for support.
//
//   pegpack c [-m fast|good|auto] IN OUT
//   pegpack d IN OUT
//   pegpack advise IN

#include "atomicfile.h"
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
// The container replaces a regular output through platform::AtomicFile: it
// writes a temporary file beside the target (the file a link points to)
// and renames it into place once the call succeeds. Interrupting pegpack
// before then would leave that partial file, often many megabytes, next
// to the output. The names it may take (TempFile::nextFreeNames) are
// written into fixed buffers before the call starts, so that the handler
// only has to unlink them and end the process: nothing else is safe in a
// handler.

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kTempCandidates = 4; // free names, in the order the writer tries them

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

void prepareTempPaths(const std::string &output)
{
    // Nothing when the output is written in place (an existing path that
    // is not a regular file, such as a terminal): there is nothing to remove.
    const std::optional<fs::path> target = platform::replaceableTarget(output);
    if (!target)
        return;
    std::error_code ec;
    const fs::path absolute = fs::absolute(*target, ec);
    if (ec || absolute.empty())
        return;
    std::size_t filled = 0;
    for (const fs::path &name : platform::TempFile::nextFreeNames(absolute, kTempCandidates)) {
        const std::string &text = name.native();
        if (text.size() >= PATH_MAX)
            return; // the writer cannot create it either
        text.copy(g_tempPaths[filled].data(), text.size());
        g_tempPaths[filled][text.size()] = '\0';
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
