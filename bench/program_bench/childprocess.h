#pragma once

// The measurements that need a fresh process run this executable again in
// a child mode and read what it prints.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace programbench {

// A child's standard output and exit status (128 + the signal when one
// ended it), and when it was spawned on monotonicNs()'s clock.
struct ChildRun {
    std::int64_t spawnedNs = 0;
    std::string output;
    int status = -1;
};

// Runs this executable (or `program`) with `arguments`, collecting its
// standard output; its standard error passes through. A child that takes
// longer than `timeoutMs` is killed and reported as failed. Throws
// std::runtime_error when it cannot be started.
ChildRun runChild(const std::string &program, const std::vector<std::string> &arguments, int timeoutMs = 60'000);

// "key=value" fields of the first output line starting with `tag`.
std::map<std::string, std::string> fields(const std::string &output, const std::string &tag);

// The path of this executable.
std::string selfPath();

} // namespace programbench
