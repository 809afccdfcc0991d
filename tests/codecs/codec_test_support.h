#pragma once

// Helpers shared by the codec tests: deterministic data, file I/O and a
// comparison that names the first differing byte. Their folders are the
// support layer's TempFolder.

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace codectest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Small, fixed generator so every run sees the same data.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state >> 16);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint64_t m_state;
};

enum class Kind { Text, Random, Runs, Mixed };

inline const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Text: return "text";
    case Kind::Random: return "random";
    case Kind::Runs: return "runs";
    case Kind::Mixed: return "mixed";
    }
    return "?";
}

inline Bytes makeData(Kind kind, std::size_t size, std::uint64_t seed = 1)
{
    static const char *const words[] = {"fifteen", "two", "for", "a", "run", "of", "three",
                                        "pair", "royal", "nob", "flush", "starter", "crib",
                                        "the", "jack", "peg", "\r\n"};
    Rng rng(seed);
    Bytes out;
    out.reserve(size + 64);
    while (out.size() < size) {
        const Kind k = kind == Kind::Mixed ? static_cast<Kind>(rng.below(3)) : kind;
        switch (k) {
        case Kind::Text: {
            const std::string_view w = words[rng.below(std::size(words))];
            out.insert(out.end(), w.begin(), w.end());
            out.push_back(' ');
            break;
        }
        case Kind::Random:
            for (int i = 0; i < 16; ++i)
                out.push_back(static_cast<std::uint8_t>(rng.next()));
            break;
        case Kind::Runs:
            out.insert(out.end(), 1 + rng.below(kind == Kind::Runs ? 5000 : 40),
                       static_cast<std::uint8_t>(rng.below(4)));
            break;
        case Kind::Mixed:
            break;
        }
    }
    out.resize(size);
    return out;
}

// Empty when equal, else where and how the two differ.
inline std::string firstDifference(const Bytes &expected, const Bytes &actual)
{
    const std::size_t common = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (expected[i] != actual[i])
            return "first difference at byte " + std::to_string(i) + ": expected " +
                   std::to_string(expected[i]) + ", got " + std::to_string(actual[i]);
    }
    if (expected.size() != actual.size())
        return "sizes differ: expected " + std::to_string(expected.size()) + ", got " +
               std::to_string(actual.size()) + " (equal up to byte " + std::to_string(common) + ")";
    return {};
}

inline Bytes readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline std::filesystem::path dataFile(std::string_view name)
{
    return std::filesystem::path(PEG_TEST_DATA) / name;
}

} // namespace codectest
