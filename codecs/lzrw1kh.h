#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

// Raised when the codec cannot be set up.
class ELzrw1KHCompressor : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The LZRW1/KH block codec: single-pass LZ77 with one hash probe per
// position, 12-bit distances, 4-bit lengths and a run item. Each block of up
// to kBlockSize bytes is coded on its own; nothing carries over between
// blocks.
//
// Block layout. Byte 0 is a flag: kFlagCopied means bytes 1..n are the input
// unchanged; anything else means a compressed body. The body is a sequence
// of 16-bit control words (high byte first), each followed by up to 16
// items. Bits are consumed from the top: 0 = literal (1 byte), 1 = copy
// item. A copy item whose first 12 bits are a distance d > 0 is a match
//     [d >> 4][(d << 4) | (length - 3)]          2 bytes, length 3..18
// and one whose first 12 bits are 0 is a run
//     [0x00][(count - 16) >> 8][(count - 16) & 0xFF][byte]   count 16..4095
class TLZR {
public:
    static constexpr std::size_t kBlockSize = 32768;
    // The compressor writes a few bytes past n before it falls back to the
    // copied form; buffers given to it hold n + kSlack bytes.
    static constexpr std::size_t kSlack = 16;
    static constexpr std::size_t kBufferSize = kBlockSize + kSlack;
    static constexpr std::uint8_t kFlagCopied = 0x80;
    static constexpr std::uint8_t kFlagCompressed = 0x40;
    // DecompressBlock's answer for a block that cannot have come from
    // CompressBlock.
    static constexpr std::ptrdiff_t kDamaged = -1;

    // Allocates the hash table; throws ELzrw1KHCompressor when it cannot.
    TLZR();
    ~TLZR();
    TLZR(const TLZR &) = delete;
    TLZR &operator=(const TLZR &) = delete;

    // Codes n (0..kBlockSize) bytes of `in` into `out`, which must hold
    // n + kSlack bytes. Returns the block length, 1..n + 1; the result is
    // n + 1 exactly when the block was stored in copied form. The same
    // input always gives the same bytes. Never reads past in[n - 1].
    std::size_t CompressBlock(const std::uint8_t *in, std::uint8_t *out, std::size_t n);

    // Decodes the m-byte block at `in` into `out`, which has room for
    // `capacity` bytes. Returns the number of bytes produced, or kDamaged
    // when the block is malformed (an item cut off, a distance before the
    // start of the output, more output than `capacity`). Never reads
    // in[m] or beyond and never writes out[capacity] or beyond, whatever
    // the bytes say.
    static std::ptrdiff_t DecompressBlock(const std::uint8_t *in, std::uint8_t *out,
                                          std::size_t m,
                                          std::size_t capacity = kBlockSize);

    // Looks for a match of 3..18 bytes for position x of the n-byte block
    // through the hash table and records x there, whatever the outcome.
    // On success sets `source` (an earlier position, at most 4095 back) and
    // `length`. The table starts empty; CompressBlock empties it again for
    // every block.
    bool FindMatch(const std::uint8_t *in, std::size_t x, std::size_t n,
                   std::size_t &source, std::size_t &length);

private:
    static constexpr std::size_t kHashSize = 4096;
    std::unique_ptr<std::int16_t[]> m_hash;
};
