#include "lzh.h"

#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using namespace codectest;

namespace {

constexpr std::size_t kHeader = 8; // the container's header before the stream

Bytes encode(const Bytes &in)
{
    TLZH lzh;
    std::size_t pos = 0;
    Bytes out;
    const std::int64_t n = lzh.Compress(
        [&](std::uint8_t *dst, std::size_t want) {
            const std::size_t got = std::min(want, in.size() - pos);
            if (got > 0)
                std::memcpy(dst, in.data() + pos, got);
            pos += got;
            return got;
        },
        [&](const std::uint8_t *src, std::size_t count) { out.insert(out.end(), src, src + count); });
    EXPECT_EQ(static_cast<std::size_t>(n), out.size());
    return out;
}

// Decodes `stream`; `produced` gets what the decoder reports.
Bytes decode(const Bytes &stream, std::int64_t size, std::int64_t &produced)
{
    TLZH lzh;
    std::size_t pos = 0;
    Bytes out;
    produced = lzh.Decompress(
        [&](std::uint8_t *dst, std::size_t want) {
            const std::size_t got = std::min(want, stream.size() - pos);
            if (got > 0)
                std::memcpy(dst, stream.data() + pos, got);
            pos += got;
            return got;
        },
        [&](const std::uint8_t *src, std::size_t count) { out.insert(out.end(), src, src + count); },
        size);
    EXPECT_EQ(static_cast<std::size_t>(produced), out.size());
    return out;
}

Bytes streamOf(const Bytes &container)
{
    return Bytes(container.begin() + kHeader, container.end());
}

struct GoldenCase {
    const char *input;     // empty for an empty input
    const char *container; // derived independently of this code
};

void PrintTo(const GoldenCase &c, std::ostream *os) { *os << c.container; }

class LzhGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(LzhGolden, StreamMatchesTheIndependentOne)
{
    const Bytes input = *GetParam().input ? readFile(dataFile(GetParam().input)) : Bytes{};
    const Bytes expected = streamOf(readFile(dataFile(GetParam().container)));
    EXPECT_EQ(firstDifference(expected, encode(input)), "");
    std::int64_t produced = 0;
    const Bytes back = decode(expected, static_cast<std::int64_t>(input.size()), produced);
    EXPECT_EQ(firstDifference(input, back), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, LzhGolden,
    ::testing::Values(GoldenCase{"", "empty.hzl"}, GoldenCase{"spaces100.txt", "spaces100.hzl"},
                      GoldenCase{"tallygrid.txt", "tallygrid.hzl"},
                      GoldenCase{"mixed70000.bin", "mixed70000.hzl"},
                      GoldenCase{"rebuild60000.bin", "rebuild60000.hzl"}),
    [](const auto &row) {
        std::string n = row.param.container;
        return n.substr(0, n.find('.'));
    });

TEST(LzhCoding, EmptyInputStillCodesTheBlankAtTheStartOfTheLookahead)
{
    // The blank's code in the fresh tree is 110101100, padded to two bytes.
    EXPECT_EQ(encode({}), (Bytes{0xD6, 0x00}));
    std::int64_t produced = -1;
    EXPECT_TRUE(decode({0xD6, 0x00}, 0, produced).empty());
    EXPECT_EQ(produced, 0);
}

TEST(LzhCoding, LeadingBlanksMatchTheBlankRing)
{
    // A hundred blanks are two matches against the ring's blanks, not
    // literals: far fewer bytes than one literal each.
    EXPECT_LT(encode(Bytes(100, ' ')).size(), 8u);
}

TEST(LzhRoundTrip, ManySizesAndKinds)
{
    const std::size_t sizes[] = {1, 2, 3, 59, 60, 61, 62, 119, 120, 121, 4035, 4036, 4095,
                                 4096, 4097, 8192, 32767, 32768, 32769, 70000};
    for (Kind kind : {Kind::Text, Kind::Random, Kind::Runs, Kind::Mixed}) {
        for (std::size_t n : sizes) {
            const Bytes in = makeData(kind, n, n * 3 + 1);
            std::int64_t produced = 0;
            const Bytes back = decode(encode(in), static_cast<std::int64_t>(n), produced);
            EXPECT_EQ(firstDifference(in, back), "") << kindName(kind) << " " << n;
        }
    }
}

// Inputs whose strings reach the dictionary in sorted order, so its trees
// grow into deep chains and the coder's search has to stop early.
Bytes fixedWidthRecords(std::size_t size)
{
    Bytes out;
    for (unsigned i = 0; out.size() < size; ++i) {
        char line[65];
        std::snprintf(line, sizeof line, "%-63s\n",
                      ("id=" + std::to_string(10000000 + i) + " name=player" +
                       std::to_string(1000 + i % 1000) + " score=" + std::to_string((i * 37) % 100000))
                          .c_str());
        out.insert(out.end(), line, line + 64);
    }
    out.resize(size);
    return out;
}

Bytes countersAmongZeros(std::size_t size, bool bigEndian)
{
    Bytes out;
    for (std::uint32_t i = 0; out.size() < size; ++i) {
        out.insert(out.end(), 12, 0);
        for (int k = 0; k < 4; ++k)
            out.push_back(static_cast<std::uint8_t>(i >> (bigEndian ? 24 - 8 * k : 8 * k)));
    }
    out.resize(size);
    return out;
}

TEST(LzhRoundTrip, DeepDictionaryTrees)
{
    struct Row {
        const char *name;
        Bytes input;
    };
    const Row rows[] = {
        {"fixed-width records", fixedWidthRecords(40000)},
        {"big-endian counters among zeros", countersAmongZeros(20000, true)},
        {"little-endian counters among zeros", countersAmongZeros(20000, false)},
    };
    for (const Row &row : rows) {
        const Bytes stream = encode(row.input);
        std::int64_t produced = 0;
        const Bytes back = decode(stream, static_cast<std::int64_t>(row.input.size()), produced);
        EXPECT_EQ(firstDifference(row.input, back), "") << row.name;
        // Mostly repeats: a search that lost its way would leave literals.
        EXPECT_LT(stream.size(), row.input.size() / 4) << row.name;
    }
}

TEST(LzhDecoding, OvershootingLastMatchIsReportedBySize)
{
    // Telling the decoder one byte less than the truth: the final match
    // still completes, so it reports more than it was asked for.
    const Bytes in(500, 'k');
    std::int64_t produced = 0;
    decode(encode(in), 499, produced);
    EXPECT_GT(produced, 499);
}

TEST(LzhDecoding, StopsSoonAfterTheEndOfTheInput)
{
    // A stream cut short with a huge promised size: zero padding would
    // decode forever; the decoder gives up after a few bytes of it.
    const Bytes stream = encode(makeData(Kind::Text, 20000));
    for (std::size_t keep : {std::size_t{0}, std::size_t{1}, stream.size() / 2, stream.size()}) {
        std::int64_t produced = 0;
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(keep));
        decode(cut, INT32_MAX, produced);
        EXPECT_LT(produced, 20000 + 64 * 60) << keep;
    }
}

TEST(LzhDecoding, TrailingBytesOfAValidStreamDoNotMatter)
{
    const Bytes in = makeData(Kind::Mixed, 3000);
    Bytes stream = encode(in);
    stream.insert(stream.end(), {0xFF, 0x00, 0x12});
    std::int64_t produced = 0;
    EXPECT_EQ(firstDifference(in, decode(stream, 3000, produced)), "");
}

TEST(LzhDecoding, RandomStreamsStayBounded)
{
    Rng rng(9);
    for (int round = 0; round < 300; ++round) {
        Bytes stream(rng.below(200));
        for (auto &b : stream)
            b = static_cast<std::uint8_t>(rng.next());
        std::int64_t produced = 0;
        decode(stream, 1 << 20, produced);
        // No more than the padding allowance's worth of symbols past the end.
        ASSERT_LT(produced, static_cast<std::int64_t>(stream.size() + 8) * 8 * 60);
    }
}

} // namespace
