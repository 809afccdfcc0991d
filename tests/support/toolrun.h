#pragma once

// Runs a command-line tool as a player would: the arguments through the
// shell, standard input from a string, standard output, standard error and
// the exit status kept.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct ToolResult {
    std::string out;
    std::string err;
    int status = -1;
};

inline ToolResult runTool(const std::string &program, const std::string &arguments, const std::string &input = {})
{
    // CTest runs the cases of a file side by side: each gets its own files.
    const std::string stem = ::testing::TempDir() + "/tool_" + std::to_string(::getpid());
    const std::string in = stem + "_in.txt";
    const std::string err = stem + "_err.txt";
    std::ofstream(in, std::ios::binary) << input;
    const std::string command = program + " " + arguments + " <" + in + " 2>" + err;
    ToolResult r;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe) {
        std::array<char, 512> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe))
            r.out += buffer.data();
        const int raw = ::pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream e(err);
        r.err.assign(std::istreambuf_iterator<char>(e), {});
    }
    std::remove(in.c_str());
    std::remove(err.c_str());
    return r;
}
