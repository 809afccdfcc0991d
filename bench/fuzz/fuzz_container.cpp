// Any bytes after a method identifier as a container: decompression either
// fails with one of the container's messages or restores exactly the
// stored size; and the same bytes taken as data survive a round trip in
// that method. Built once per method: FUZZ_METHOD_LZH picks LZH, otherwise
// LZRW1/KH.

#include "lzrw1.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
#ifdef FUZZ_METHOD_LZH
constexpr std::uint8_t kIdentifier[4] = {'!', 'H', 'Z', 'L'};
constexpr TCompressMode kMode = TCompressMode::Good;
#else
constexpr std::uint8_t kIdentifier[4] = {'W', 'R', 'Z', 'L'};
constexpr TCompressMode kMode = TCompressMode::Fast;
#endif
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Tlzrw1 container;
    std::vector<std::uint8_t> packed(std::begin(kIdentifier), std::end(kIdentifier));
    packed.insert(packed.end(), data, data + size);
    try {
        const std::vector<std::uint8_t> restored = container.DecompressBytes(packed);
        std::int32_t stored;
        std::memcpy(&stored, packed.data() + 4, sizeof stored);
        if (static_cast<std::int64_t>(restored.size()) != stored)
            std::abort();
    } catch (const ELzrw1Exception &) {
    }

    container.CompressMode = kMode;
    const std::vector<std::uint8_t> input(data, data + size);
    if (container.DecompressBytes(container.CompressBytes(input)) != input)
        std::abort();
    return 0;
}
