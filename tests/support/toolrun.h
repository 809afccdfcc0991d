#pragma once

// Runs a command-line tool as a player would: the arguments through the
// shell, standard input from a string, standard output, standard error and
// the exit status kept.

#include "tempfolder.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

struct ToolResult {
    std::string out;
    std::string err;
    int status = -1;
};

inline ToolResult runTool(const std::string &program, const std::string &arguments, const std::string &input = {})
{
    // CTest runs the cases of a file side by side: each run gets its own folder.
    const TempFolder folder;
    const std::string in = (folder / "in.txt").string();
    const std::string err = (folder / "err.txt").string();
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
    return r;
}
