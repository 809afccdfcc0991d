#include "lzrw1kh.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr std::size_t kMaxDistance = 4095;
constexpr std::size_t kMinRun = 16;
constexpr std::size_t kMaxRun = 4095;
constexpr std::uint32_t kHashMultiplier = 40543;
constexpr std::size_t kItemsPerControlWord = 16;
constexpr std::int16_t kEmpty = -1;
constexpr std::size_t kHashEntries = 4096;

inline std::uint64_t load64(const std::uint8_t *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store64(std::uint8_t *p, std::uint64_t v)
{
    std::memcpy(p, &v, sizeof v);
}

// Number of leading equal bytes in a and b, at most `limit`. Reads 8 bytes
// at a time only where all of them lie within the limit.
inline std::size_t commonLength(const std::uint8_t *a, const std::uint8_t *b, std::size_t limit)
{
    std::size_t len = 0;
    while (len + 8 <= limit) {
        const std::uint64_t diff = load64(a + len) ^ load64(b + len);
        if (diff != 0)
            return len + static_cast<std::size_t>(__builtin_ctzll(diff) >> 3);
        len += 8;
    }
    while (len < limit && a[len] == b[len])
        ++len;
    return len;
}

inline std::size_t hashOf(const std::uint8_t *p)
{
    const std::uint32_t h = (std::uint32_t{p[0]} << 8) ^ (std::uint32_t{p[1]} << 4) ^ p[2];
    return ((h * kHashMultiplier) >> 4) & 0xFFF;
}

inline void putWord(std::uint8_t *p, std::uint32_t w)
{
    p[0] = static_cast<std::uint8_t>(w >> 8);
    p[1] = static_cast<std::uint8_t>(w);
}

// Copies a match whose source starts `distance` bytes back. Byte by byte
// where the source overlaps what is being written, so a short distance
// repeats the latest bytes.
inline void copyMatch(std::uint8_t *dst, std::size_t distance, std::size_t length)
{
    const std::uint8_t *src = dst - distance;
    for (std::size_t i = 0; i < length; ++i)
        dst[i] = src[i];
}

// One probe of the hash table for position x; see TLZR::FindMatch.
[[gnu::always_inline]] inline bool findMatch(std::int16_t *__restrict table,
                                             const std::uint8_t *__restrict in, std::size_t x,
                                             std::size_t n, std::size_t &source, std::size_t &length)
{
    // A match needs three bytes; the last two positions never start one.
    if (x + kMinMatch > n)
        return false;
    std::int16_t &slot = table[hashOf(in + x)];
    const std::int16_t e = slot;
    slot = static_cast<std::int16_t>(x);
    // Entries left from another block may lie at or after x.
    if (e == kEmpty || static_cast<std::size_t>(e) >= x ||
        x - static_cast<std::size_t>(e) > kMaxDistance)
        return false;
    const std::size_t len = commonLength(in + x, in + e, std::min(kMaxMatch, n - x));
    if (len < kMinMatch)
        return false;
    source = static_cast<std::size_t>(e);
    length = len;
    return true;
}

// Length of the run of equal bytes at x, up to kMaxRun.
[[gnu::always_inline]] inline std::size_t runLength(const std::uint8_t *__restrict in,
                                                    std::size_t x, std::size_t n)
{
    const std::uint8_t b = in[x];
    if (x + 1 >= n || in[x + 1] != b)
        return 1;
    const std::size_t limit = std::min(kMaxRun, n - x);
    const std::uint64_t pattern = 0x0101010101010101ULL * b;
    std::size_t r = 2;
    while (r + 8 <= limit) {
        const std::uint64_t diff = load64(in + x + r) ^ pattern;
        if (diff != 0)
            return r + static_cast<std::size_t>(__builtin_ctzll(diff) >> 3);
        r += 8;
    }
    while (r < limit && in[x + r] == b)
        ++r;
    return r;
}

std::size_t compressBlock(std::int16_t *__restrict table, const std::uint8_t *__restrict in,
                          std::uint8_t *__restrict out, std::size_t n)
{
    std::fill_n(table, kHashEntries, kEmpty);
    out[0] = TLZR::kFlagCompressed;

    std::size_t x = 0;
    std::size_t y = 3;   // next output byte
    std::size_t z = 1;   // where the current control word goes
    std::size_t k = 0;   // items described by the current control word
    std::uint32_t c = 0; // its bits; only the low 16 are ever written

    while (x < n && y <= n) {
        if (k == kItemsPerControlWord) {
            putWord(out + z, c);
            z = y;
            y += 2;
            k = 0;
        }

        // Far from the end, the common case (a literal) is settled from one
        // 8-byte load: no run starts here, and the hash slot's candidate
        // does not share the first three bytes.
        if (x + kMaxMatch + 8 <= n) {
            const std::uint64_t v = load64(in + x);
            if (((v ^ (v >> 8)) & 0xFF) != 0) {
                std::int16_t &slot = table[hashOf(in + x)];
                const std::int16_t e = slot;
                slot = static_cast<std::int16_t>(x);
                if (e == kEmpty || x - static_cast<std::size_t>(e) > kMaxDistance ||
                    ((load64(in + e) ^ v) & 0xFFFFFF) != 0) {
                    out[y++] = static_cast<std::uint8_t>(v);
                    ++x;
                    c <<= 1;
                    ++k;
                    continue;
                }
                const std::size_t length = commonLength(in + x, in + e, kMaxMatch);
                putWord(out + y, static_cast<std::uint32_t>(((x - e) << 4) | (length - kMinMatch)));
                y += 2;
                x += length;
                c = (c << 1) | 1;
                ++k;
                continue;
            }
        }

        const std::size_t r = runLength(in, x, n);
        std::size_t source = 0;
        std::size_t length = 0;
        if (r >= kMinRun) {
            const std::size_t stored = r - kMinRun;
            out[y] = 0;
            out[y + 1] = static_cast<std::uint8_t>(stored >> 8);
            out[y + 2] = static_cast<std::uint8_t>(stored);
            out[y + 3] = in[x];
            y += 4;
            x += r;
            c = (c << 1) | 1;
        } else if (findMatch(table, in, x, n, source, length)) {
            putWord(out + y, static_cast<std::uint32_t>(((x - source) << 4) | (length - kMinMatch)));
            y += 2;
            x += length;
            c = (c << 1) | 1;
        } else {
            out[y++] = in[x++];
            c <<= 1;
        }
        ++k;
    }
    putWord(out + z, c << (kItemsPerControlWord - k));

    if (y > n) {
        if (n > 0) // an empty block may come without a buffer
            std::memcpy(out + 1, in, n);
        out[0] = TLZR::kFlagCopied;
        return n + 1;
    }
    return y;
}

} // namespace

TLZR::TLZR()
{
    try {
        m_hash = std::make_unique_for_overwrite<std::int16_t[]>(kHashSize);
    } catch (const std::bad_alloc &) {
        throw ELzrw1KHCompressor("LZRW1KH : no memory for HASH table");
    }
    static_assert(kHashSize == kHashEntries);
    std::fill_n(m_hash.get(), kHashSize, kEmpty);
}

TLZR::~TLZR() = default;

bool TLZR::FindMatch(const std::uint8_t *in, std::size_t x, std::size_t n,
                     std::size_t &source, std::size_t &length)
{
    return findMatch(m_hash.get(), in, x, n, source, length);
}

std::size_t TLZR::CompressBlock(const std::uint8_t *in, std::uint8_t *out, std::size_t n)
{
    return compressBlock(m_hash.get(), in, out, n);
}

std::ptrdiff_t TLZR::DecompressBlock(const std::uint8_t *in, std::uint8_t *out,
                                     std::size_t m, std::size_t capacity)
{
    if (m <= 1)
        return 0;
    if (in[0] == kFlagCopied) {
        if (m - 1 > capacity)
            return kDamaged;
        std::memcpy(out, in + 1, m - 1);
        return static_cast<std::ptrdiff_t>(m - 1);
    }

    // The most input one control word's items can read (16 runs, or
    // literals copied 16 bytes at a time near the end), and the most output
    // they can write when matches are copied 8 bytes at a time (16 matches,
    // the last overshooting by up to 6). Runs are checked.
    constexpr std::size_t kGroupIn = kItemsPerControlWord * 4 + 16;
    constexpr std::size_t kGroupOut = kItemsPerControlWord * 24;

    std::size_t pos = 1;
    std::size_t y = 0;
    while (pos < m) {
        if (pos + 2 > m)
            return kDamaged;
        std::uint32_t cw = (std::uint32_t{in[pos]} << 8) | in[pos + 1];
        pos += 2;
        std::size_t bits = kItemsPerControlWord;

        // Fast path: no item of this word can leave either buffer except
        // through a run or a distance, and both are checked.
        if (pos + kGroupIn <= m && y + kGroupOut <= capacity) {
            while (bits > 0) {
                if ((cw & 0x8000) == 0) {
                    // A stretch of literals, copied 16 bytes at a time; what
                    // lies past the stretch is overwritten by later items.
                    const auto literals = std::min<std::size_t>(
                        bits, static_cast<std::size_t>(__builtin_clz((cw & 0xFFFF) | 0x1) - 16));
                    store64(out + y, load64(in + pos));
                    store64(out + y + 8, load64(in + pos + 8));
                    y += literals;
                    pos += literals;
                    cw <<= literals;
                    bits -= literals;
                    continue;
                }
                --bits;
                cw <<= 1;
                const std::size_t distance = (std::size_t{in[pos]} << 4) | (in[pos + 1] >> 4);
                if (distance == 0) {
                    const std::size_t count = ((std::size_t{in[pos + 1]} << 8) | in[pos + 2]) + kMinRun;
                    if (count > capacity - y)
                        return kDamaged;
                    std::memset(out + y, in[pos + 3], count);
                    y += count;
                    pos += 4;
                    if (y + kGroupOut > capacity)
                        break; // too near the end: the rest goes the careful way
                    continue;
                }
                const std::size_t length = (in[pos + 1] & 0x0F) + kMinMatch;
                if (distance > y)
                    return kDamaged;
                std::uint8_t *dst = out + y;
                if (distance >= 8) {
                    // Whole words, each reading only bytes already written.
                    const std::uint8_t *src = dst - distance;
                    store64(dst, load64(src));
                    store64(dst + 8, load64(src + 8));
                    store64(dst + 16, load64(src + 16));
                } else {
                    copyMatch(dst, distance, length);
                }
                y += length;
                pos += 2;
            }
        }

        for (; bits > 0 && pos < m; --bits, cw <<= 1) {
            if ((cw & 0x8000) == 0) {
                if (y >= capacity)
                    return kDamaged;
                out[y++] = in[pos++];
                continue;
            }
            if (pos + 2 > m)
                return kDamaged;
            const std::size_t distance = (std::size_t{in[pos]} << 4) | (in[pos + 1] >> 4);
            if (distance == 0) {
                if (pos + 4 > m)
                    return kDamaged;
                const std::size_t count = ((std::size_t{in[pos + 1]} << 8) | in[pos + 2]) + kMinRun;
                if (count > capacity - y)
                    return kDamaged;
                std::memset(out + y, in[pos + 3], count);
                y += count;
                pos += 4;
            } else {
                const std::size_t length = (in[pos + 1] & 0x0F) + kMinMatch;
                if (distance > y || length > capacity - y)
                    return kDamaged;
                copyMatch(out + y, distance, length);
                y += length;
                pos += 2;
            }
        }
    }
    return static_cast<std::ptrdiff_t>(y);
}
