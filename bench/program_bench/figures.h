#pragma once

// Clocks, statistics and the figure lines every measurement of
// program_bench reports through.

#include <cstdint>
#include <string>
#include <vector>

namespace programbench {

// CLOCK_MONOTONIC in ns: the same clock in every process of the machine.
std::int64_t monotonicNs();
// CPU time of the calling thread, in ns.
std::int64_t threadCpuNs();

// Median, nearest-rank percentile (p in 0..100) and maximum; 0 when empty.
double median(std::vector<double> values);
double percentile(std::vector<double> values, double p);
double maxOf(const std::vector<double> &values);

// Prints one "FIGURE\t" line for the runner script's table: the figure,
// its unit, the peer measured in the same run and the ratio of the two.
void figure(const std::string &name, double value, const std::string &unit, const std::string &peerName,
            double peerValue);

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when missing.
long statusKb(const char *key);

} // namespace programbench
