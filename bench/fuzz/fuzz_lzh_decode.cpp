// Any bytes as an LZH stream behind the size it claims to restore, laid out
// as a container holds them after its identifier: a 4-byte little-endian
// size, then the coded bits. The golden containers seed it that way.
//
// Decode only. The round trip through the coder is the container target's
// job; there the coder's "Good" search takes most of each run, so the
// decoder alone meets many times as many streams here.
//
// The decoder must stay inside its tables and the ring, hand on exactly
// the bytes it reports, and stop as soon as it has the size: at most one
// match past it, since a match can overshoot but never starts once the
// size is reached.

#include "lzh.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t kSizeBytes = 4;
// The longest match the format codes; one can end this far, less one byte,
// past the size asked for.
constexpr std::int64_t kLongestMatch = 60;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < kSizeBytes)
        return 0;
    std::int32_t wanted;
    std::memcpy(&wanted, data, sizeof wanted);
    const std::uint8_t *stream = data + kSizeBytes;
    const std::size_t streamSize = size - kSizeBytes;

    std::size_t offered = 0;
    const TLZH::ReadFn read = [&](std::uint8_t *dst, std::size_t n) {
        const std::size_t take = std::min(n, streamSize - offered);
        std::memcpy(dst, stream + offered, take);
        offered += take;
        return take;
    };
    std::int64_t written = 0;
    const TLZH::WriteFn write = [&](const std::uint8_t *, std::size_t n) {
        written += static_cast<std::int64_t>(n);
    };

    static TLZH lzh;
    const std::int64_t produced = lzh.Decompress(read, write, wanted);
    if (produced != written || produced < 0)
        std::abort();
    if (wanted <= 0 ? produced != 0 : produced >= wanted + kLongestMatch)
        std::abort();
    return 0;
}
