// Runs the real pegpack executable as a player would.
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::set<std::string> entries(const fs::path &dir)
{
    std::set<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

void writeFile(const fs::path &path, const std::vector<char> &bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<char> readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// Bytes the LZH coder takes seconds over, so a run is still going when
// its signal comes.
std::vector<char> slowToCode(std::size_t size)
{
    std::vector<char> bytes(size);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (char &b : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Starts pegpack with the three signals at their defaults, whatever the
// test runner ignores, as from an interactive shell.
pid_t start(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    std::string program = PEGPACK_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const int sig : kCleanedSignals)
            std::signal(sig, SIG_DFL);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool hasEntryStartingWith(const fs::path &dir, const std::string &prefix)
{
    for (const std::string &name : entries(dir))
        if (name.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// Waits, up to the deadline, for an entry of `dir` named `prefix`…; the
// inotify watch must have been added before the file could appear.
bool waitForEntry(int watch, const fs::path &dir, const std::string &prefix, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!hasEntryStartingWith(dir, prefix)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) > 0) {
            char events[4096];
            (void)::read(watch, events, sizeof events);
        }
    }
    return true;
}

TEST(Pegpack, InterruptedRunLeavesNeitherPartialNorFinalOutput)
{
    const TempFolder folder;
    const fs::path &dir = folder.path();
    const fs::path input = dir / "big.bin";
    writeFile(input, slowToCode(16u << 20));
    for (const int sig : kCleanedSignals) {
        const fs::path out = dir / ::strsignal(sig); // a folder of its own
        fs::create_directory(out);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
        const pid_t pid = start({"c", "-m", "good", input.string(), (out / "out.hzl").string()});
        ASSERT_GT(pid, 0);
        const bool writing = waitForEntry(watch, out, ".out.hzl.", std::chrono::seconds(20));
        ::close(watch);
        ::kill(pid, sig);
        const int status = waitFor(pid);
        EXPECT_TRUE(writing) << ::strsignal(sig) << ": no temporary file appeared";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << ::strsignal(sig) << ": status " << status;
        EXPECT_EQ(entries(out), std::set<std::string>{}) << ::strsignal(sig);
    }
}

TEST(Pegpack, CompressedFileComesBackAndNothingElseIsLeft)
{
    const TempFolder folder;
    const fs::path &dir = folder.path();
    const std::vector<char> data = slowToCode(70000);
    writeFile(dir / "in.bin", data);
    for (const char *mode : {"fast", "good"}) {
        const std::string packed = std::string("in.") + mode;
        const std::string back = std::string("back.") + mode;
        const int packStatus = waitFor(start({"c", "-m", mode, (dir / "in.bin").string(), (dir / packed).string()}));
        const int backStatus = waitFor(start({"d", (dir / packed).string(), (dir / back).string()}));
        EXPECT_TRUE(WIFEXITED(packStatus) && WEXITSTATUS(packStatus) == 0) << mode;
        EXPECT_TRUE(WIFEXITED(backStatus) && WEXITSTATUS(backStatus) == 0) << mode;
        EXPECT_TRUE(readFile(dir / back) == data) << mode;
    }
    EXPECT_EQ(entries(dir), (std::set<std::string>{"in.bin", "in.fast", "in.good", "back.fast", "back.good"}));
}

} // namespace
