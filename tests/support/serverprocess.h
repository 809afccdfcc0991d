#pragma once

#include "uniquefd.h"
#include "wire.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

extern char **environ;

// PEGSQUARE_SERVER_BINARY: the path of the pegsquare-server program, given
// by the test target.

// The real pegsquare-server, its standard output on a socket (so it can be
// read with a deadline) and its standard error (the access log) in a file.
class ServerProcess {
public:
    ServerProcess(const std::filesystem::path &folder, std::vector<std::string> arguments)
        : m_logPath(folder / ("stderr-" + std::to_string(++s_started) + ".txt"))
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        m_stdout = UniqueFd(ends[0]);
        const UniqueFd childEnd(ends[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childEnd.get(), STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        arguments.insert(arguments.begin(), PEGSQUARE_SERVER_BINARY);
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, PEGSQUARE_SERVER_BINARY, &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ServerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Waits for the listening line; the port from it, or -1.
    int waitListening()
    {
        m_out = readUntil(m_stdout.get(), "\n").value_or("");
        const std::string start = "pegsquare-server: listening on http://127.0.0.1:";
        return m_out.starts_with(start) ? std::stoi(m_out.substr(start.size())) : -1;
    }
    // Waits for the line naming the metrics address, after the listening
    // line; the port from it, or -1.
    int waitMetrics()
    {
        const std::string start = "pegsquare-server: metrics on http://127.0.0.1:";
        while (m_out.find(start) == std::string::npos || m_out.find('\n', m_out.find(start)) == std::string::npos) {
            const auto more = readUntil(m_stdout.get(), "\n");
            if (!more)
                return -1;
            m_out += *more;
        }
        return std::stoi(m_out.substr(m_out.find(start) + start.size()));
    }
    // Sends `signal` (none when 0) and waits for the end, which closes standard
    // output: the exit status, or -1 when it did not end in time or by a signal.
    int stop(int signal = SIGTERM)
    {
        if (m_pid <= 0)
            return -1;
        if (signal != 0)
            ::kill(m_pid, signal);
        const auto rest = readUntil(m_stdout.get());
        if (!rest)
            return -1;
        m_out += *rest;
        int status = 0;
        ::waitpid(std::exchange(m_pid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Sends `signal` and goes on at once.
    void signal(int signal) const
    {
        if (m_pid > 0)
            ::kill(m_pid, signal);
    }
    const std::string &output() const { return m_out; }
    std::string log() const
    {
        std::ifstream in(m_logPath);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    static inline int s_started = 0;
    std::filesystem::path m_logPath;
    pid_t m_pid = -1;
    UniqueFd m_stdout;
    std::string m_out;
};
