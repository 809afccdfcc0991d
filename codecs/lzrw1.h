#pragma once

#include "lzh.h"
#include "lzrw1kh.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Every failure of the container, carrying one of its fixed messages.
class ELzrw1Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TCompressMode { Good = 0, Fast = 1, Auto = 2 };

// The compressed file container. Layout, integers little-endian:
//   0  4  method: "WRZL" (LZRW1/KH) or "!HZL" (LZH)
//   4  4  size of the original data, signed
//   8  …  LZRW1/KH: blocks of [16-bit length L, 1..32769][L coded bytes],
//         each coding the next 32768 bytes; the first block coding fewer
//         than 32768 bytes is the last (an input of a whole number of
//         blocks ends with one coding nothing: 01 00 80).
//         LZH: one bit stream to the end of the file.
//
// One call at a time per instance. Buffers and handles are released on
// every path. A file call replaces a regular OutputFile all or nothing
// (platform::AtomicFile): when it fails after it began writing, nothing is
// left at OutputFile's path that was not there before, and when it
// succeeds the new file was on the disk before it took the old one's
// place.
class Tlzrw1 {
public:
    // Hook called after every block with the running byte counts, so that
    // the window code can let the interface breathe. Runs on the caller's
    // thread, inside the call.
    using ProgressFn = std::function<void(std::int64_t bytesRead, std::int64_t bytesWritten)>;

    static constexpr std::uint32_t kIdLzrw1kh = 0x4C5A5257; // "WRZL"
    static constexpr std::uint32_t kIdLzh = 0x4C5A4821;     // "!HZL"
    static constexpr std::size_t kHeaderSize = 8;
    static constexpr int kDefaultThreshold = 40;

    std::string InputFile;
    std::string OutputFile;
    TCompressMode CompressMode = TCompressMode::Good;
    int Threshold = kDefaultThreshold; // percent; used by Advise only
    ProgressFn OnProgress;

    // Codes InputFile into a new container at OutputFile (replacing any
    // file there) with the method CompressMode picks ("Auto" asks Advise).
    // Returns the container's size in bytes. Throws ELzrw1Exception.
    std::int64_t Compress();

    // Restores the data of the container InputFile to OutputFile, whatever
    // method it was written with. Returns the number of bytes restored.
    // Throws ELzrw1Exception; a damaged container never leaves output, and
    // no more than the header's original size is ever written, whatever
    // the blocks hold.
    std::int64_t Decompress();

    // The method worth using for InputFile: "Fast" when two sample blocks
    // shrink below Threshold percent with LZRW1/KH, otherwise "Good"
    // (always "Good" under three blocks). Changes nothing.
    TCompressMode Advise();

    // The same as Compress and Decompress on memory: the bytes are those
    // the file calls would write. `inputName` and `outputName` only fill
    // in the messages.
    std::vector<std::uint8_t> CompressBytes(std::span<const std::uint8_t> data,
                                            std::string_view inputName = {},
                                            std::string_view outputName = {});
    std::vector<std::uint8_t> DecompressBytes(std::span<const std::uint8_t> container,
                                              std::string_view inputName = {},
                                              std::string_view outputName = {});
    TCompressMode AdviseBytes(std::span<const std::uint8_t> data);

    // The original-size field of the header at the start of `container`,
    // or nothing when it does not start with a header of either method.
    // Decodes nothing, so a caller can refuse a container by the size it
    // announces before restoring any of it.
    static std::optional<std::int64_t> StoredSize(std::span<const std::uint8_t> container);

private:
    TLZR m_lzr;
    TLZH m_lzh;
};
