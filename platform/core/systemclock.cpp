#include "systemclock.h"

#include <chrono>

namespace platform {

std::uint32_t millisecondsSinceUtcMidnight()
{
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    const auto sinceMidnight = now - floor<days>(now);
    return static_cast<std::uint32_t>(sinceMidnight.count());
}

} // namespace platform
