// Any bytes as one LZRW1/KH block: the decoder must stay inside its
// buffers, and whatever it decodes must survive a round trip.

#include "lzrw1kh.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Exactly-sized heap buffers, so AddressSanitizer sees any stray access.
    std::vector<std::uint8_t> block(data, data + size);
    std::vector<std::uint8_t> out(TLZR::kBlockSize);
    const std::ptrdiff_t n = TLZR::DecompressBlock(block.data(), out.data(), block.size(), out.size());
    if (n == TLZR::kDamaged)
        return 0;
    if (n < 0 || static_cast<std::size_t>(n) > out.size())
        std::abort();

    static TLZR lzr;
    const auto len = static_cast<std::size_t>(n);
    std::vector<std::uint8_t> packed(len + TLZR::kSlack);
    const std::size_t m = lzr.CompressBlock(out.data(), packed.data(), len);
    if (m < 1 || m > len + 1)
        std::abort();
    std::vector<std::uint8_t> back(TLZR::kBlockSize);
    if (TLZR::DecompressBlock(packed.data(), back.data(), m, back.size()) != n ||
        std::memcmp(back.data(), out.data(), len) != 0)
        std::abort();
    return 0;
}
