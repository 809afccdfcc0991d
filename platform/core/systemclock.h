#pragma once

#include <cstdint>

namespace platform {

// Milliseconds elapsed since midnight of the current UTC time of day
// (0 … 86 399 999). Used once at start-up to seed the card shuffle.
std::uint32_t millisecondsSinceUtcMidnight();

} // namespace platform
