#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>

// Raised when the LZH coder cannot get its tables.
class ElzhException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The LZH ("Good") method: LZSS over a 4096-byte ring with a binary-tree
// dictionary; literals, match lengths and the top six bits of match
// positions coded through one adaptive Huffman tree. The coded form is one
// bit stream, most significant bit first, the last byte padded with zero
// bits; it has no end marker, so the decoder is told the original size.
//
// Tables are taken at the start of each call and released at its end.
class TLZH {
public:
    // Fills dst with up to n bytes; fewer only at the end of the data.
    // Failures are reported by throwing.
    using ReadFn = std::function<std::size_t(std::uint8_t *dst, std::size_t n)>;
    // Takes n bytes; failures are reported by throwing.
    using WriteFn = std::function<void(const std::uint8_t *src, std::size_t n)>;

    // Codes everything `read` yields and hands the stream to `write` in
    // pieces. Returns the number of coded bytes. Throws ElzhException when
    // the tables cannot be allocated; errors of the callbacks pass through.
    // The search for each match is bounded, so the time per input byte is
    // too, whatever the data; on data whose strings sort in the order they
    // arrive (fixed-width records, counters) the bound can cost some ratio.
    std::int64_t Compress(const ReadFn &read, const WriteFn &write);

    // Decodes until at least `size` bytes have been produced and returns
    // how many were (more than `size` when the last match overshoots).
    // Past the end of the input the stream reads as zero bits, but only for
    // a few bytes: a stream that needs more is damaged, and decoding stops
    // early with fewer than `size` bytes instead of inventing output.
    std::int64_t Decompress(const ReadFn &read, const WriteFn &write, std::int64_t size);
};
