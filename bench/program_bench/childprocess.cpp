#include "childprocess.h"
#include "figures.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace fs = std::filesystem;

namespace programbench {

ChildRun runChild(const std::string &program, const std::vector<std::string> &arguments, int timeoutMs)
{
    ChildRun run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    run.spawnedNs = monotonicNs();
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
    const std::int64_t deadline = run.spawnedNs + std::int64_t(timeoutMs) * 1'000'000;
    char buffer[4096];
    for (;;) {
        const std::int64_t left = (deadline - monotonicNs()) / 1'000'000;
        pollfd fd{ends[0], POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, int(left)) == 0) {
            std::fprintf(stderr, "child %s timed out; killed\n", arguments.empty() ? "" : arguments[0].c_str());
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        run.output.append(buffer, std::size_t(got));
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return run;
}

std::map<std::string, std::string> fields(const std::string &output, const std::string &tag)
{
    std::map<std::string, std::string> result;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(tag + " ", 0) != 0)
            continue;
        std::istringstream words(line.substr(tag.size() + 1));
        std::string word;
        while (words >> word) {
            const auto eq = word.find('=');
            if (eq != std::string::npos)
                result[word.substr(0, eq)] = word.substr(eq + 1);
        }
        break;
    }
    return result;
}

std::string selfPath()
{
    return fs::read_symlink("/proc/self/exe").string();
}

} // namespace programbench
