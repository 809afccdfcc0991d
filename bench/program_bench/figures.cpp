#include "figures.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace programbench {

// CLOCK_MONOTONIC is shared by every process on the machine, so a child's
// readings can be set against the moment its parent spawned it.
std::int64_t monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t rank = std::size_t(p / 100.0 * double(values.size()) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, values.size());
    return values[rank - 1];
}

std::int64_t threadCpuNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void figure(const std::string &name, double value, const std::string &unit, const std::string &peerName,
            double peerValue)
{
    const double ratio = peerValue > 0 ? value / peerValue : 0;
    std::printf("FIGURE\t%s\t%.3f\t%s\t%s\t%.3f\t%.3g\n", name.c_str(), value, unit.c_str(), peerName.c_str(),
                peerValue, ratio);
    std::fflush(stdout);
}

// "VmRSS" → kB from /proc/self/status; -1 when missing.
long statusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return -1;
}

} // namespace programbench
