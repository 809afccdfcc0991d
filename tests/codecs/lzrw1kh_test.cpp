#include "lzrw1kh.h"

#include "codec_test_support.h"

#include <gtest/gtest.h>

using namespace codectest;

namespace {

Bytes compress(TLZR &lzr, const Bytes &in)
{
    Bytes out(in.size() + TLZR::kSlack);
    out.resize(lzr.CompressBlock(in.data(), out.data(), in.size()));
    return out;
}

// Decodes into a buffer of exactly `capacity` bytes; the vector's own end
// is the limit, so a write past it is caught by the sanitizers.
std::ptrdiff_t decompress(const Bytes &block, Bytes &out, std::size_t capacity = TLZR::kBlockSize)
{
    out.assign(capacity, 0);
    const std::ptrdiff_t n = TLZR::DecompressBlock(block.data(), out.data(), block.size(), capacity);
    if (n >= 0)
        out.resize(static_cast<std::size_t>(n));
    return n;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes repeat(std::size_t n, std::uint8_t b) { return Bytes(n, b); }

struct BlockCase {
    const char *name;
    Bytes input;
    Bytes block; // worked out by hand from the coding rules
};

void PrintTo(const BlockCase &c, std::ostream *os) { *os << c.name; }

// Sixteen and seventeen runs of 16 distinct bytes: one copy item each.
Bytes runs(int count)
{
    Bytes in;
    for (int i = 0; i < count; ++i)
        in.insert(in.end(), 16, static_cast<std::uint8_t>('A' + i));
    return in;
}

Bytes runItems(int count)
{
    Bytes out;
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), {0x00, 0x00, 0x00, static_cast<std::uint8_t>('A' + i)});
    return out;
}

Bytes equalBlockCoded()
{
    // 8 runs of 4095 (stored as 4095 - 16 = 0x0FEF), then 8 bytes left: a
    // literal and a distance-1 match of 7 (0x0014). Control bits
    // 11111111 01, padded: 0xFF40.
    Bytes out = {0x40, 0xFF, 0x40};
    for (int i = 0; i < 8; ++i)
        out.insert(out.end(), {0x00, 0x0F, 0xEF, 'Q'});
    out.insert(out.end(), {'Q', 0x00, 0x14});
    return out;
}

class BlockBytes : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockBytes, CompressesToExactBytesAndBack)
{
    TLZR lzr;
    const BlockCase &c = GetParam();
    EXPECT_EQ(firstDifference(c.block, compress(lzr, c.input)), "");
    Bytes back;
    ASSERT_NE(decompress(c.block, back), TLZR::kDamaged);
    EXPECT_EQ(firstDifference(c.input, back), "");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BlockBytes,
    ::testing::Values(
        BlockCase{"empty_is_copied", {}, {0x80}},
        BlockCase{"one_byte_copied", bytesOf("a"), {0x80, 'a'}},
        BlockCase{"two_bytes_copied", bytesOf("ab"), {0x80, 'a', 'b'}},
        BlockCase{"three_equal_bytes_copied", bytesOf("aaa"), {0x80, 'a', 'a', 'a'}},
        // literal, then a distance-1 match of 14 (0x001B); bits 01 -> 0x4000
        BlockCase{"fifteen_equal_is_literal_and_match", repeat(15, 'A'),
                  {0x40, 0x40, 0x00, 'A', 0x00, 0x1B}},
        BlockCase{"sixteen_equal_is_one_run", repeat(16, 'A'),
                  {0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 'A'}},
        BlockCase{"seventeen_equal_is_a_longer_run", repeat(17, 'A'),
                  {0x40, 0x80, 0x00, 0x00, 0x00, 0x01, 'A'}},
        // three literals and a distance-3 match of 9 (0x0036); bits 0001
        BlockCase{"repeat_becomes_match", bytesOf("abcabcabcabc"),
                  {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x36}},
        BlockCase{"sixteen_items_one_control_word", runs(16),
                  concat({{0x40, 0xFF, 0xFF}, runItems(16)})},
        BlockCase{"seventeenth_item_opens_second_word", runs(17),
                  concat({{0x40, 0xFF, 0xFF}, runItems(16), {0x80, 0x00, 0x00, 0x00, 0x00, 'Q'}})},
        BlockCase{"full_block_of_equal_bytes", repeat(TLZR::kBlockSize, 'Q'), equalBlockCoded()}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(BlockDecoding, DistanceOneLengthEighteenRepeatsTheLastByte)
{
    // 'Z', then distance 1 length 18 (0x001F): nineteen Zs.
    Bytes out;
    ASSERT_EQ(decompress({0x40, 0x40, 0x00, 'Z', 0x00, 0x1F}, out), 19);
    EXPECT_EQ(firstDifference(repeat(19, 'Z'), out), "");
}

TEST(BlockDecoding, AnyFlagButCopiedMeansCompressed)
{
    Bytes out;
    ASSERT_EQ(decompress({0x00, 0x00, 0x00, 'x'}, out), 1);
    EXPECT_EQ(out, bytesOf("x"));
    ASSERT_EQ(decompress({0x80}, out), 0);
    ASSERT_EQ(decompress({}, out), 0);
}

TEST(BlockCoding, IncompressibleDataIsCopiedOneByteLonger)
{
    TLZR lzr;
    for (std::size_t n : {4u, 100u, 5000u, 32768u}) {
        const Bytes in = makeData(Kind::Random, n, n);
        const Bytes block = compress(lzr, in);
        ASSERT_EQ(block.size(), n + 1) << n;
        EXPECT_EQ(block[0], TLZR::kFlagCopied);
        EXPECT_EQ(firstDifference(in, Bytes(block.begin() + 1, block.end())), "") << n;
    }
}

TEST(BlockCoding, FindMatchTakesOnlyTheLatestPositionOfAHash)
{
    TLZR lzr;
    const Bytes in = bytesOf("xyzAxyzBxyzxyz");
    std::size_t source = 0;
    std::size_t length = 0;
    EXPECT_FALSE(lzr.FindMatch(in.data(), 0, in.size(), source, length));
    EXPECT_TRUE(lzr.FindMatch(in.data(), 4, in.size(), source, length));
    EXPECT_EQ(source, 0u);
    EXPECT_EQ(length, 3u);
    EXPECT_TRUE(lzr.FindMatch(in.data(), 8, in.size(), source, length));
    EXPECT_EQ(source, 4u); // the newer of the two, though both match
    EXPECT_TRUE(lzr.FindMatch(in.data(), 11, in.size(), source, length));
    EXPECT_EQ(source, 8u);
    EXPECT_EQ(length, 3u); // stops at the end of the block
    EXPECT_FALSE(lzr.FindMatch(in.data(), 12, in.size(), source, length)); // two bytes left
}

TEST(BlockCoding, DistancesOf4096AndMoreAreNotUsed)
{
    TLZR lzr;
    for (const std::size_t gap : {4092u, 4093u, 4094u}) {
        // "abc", `gap` filler bytes, "abc" again at 3 + gap.
        Bytes in = bytesOf("abc");
        in.insert(in.end(), gap, 'q');
        in.insert(in.end(), {'a', 'b', 'c'});
        std::size_t source = 0;
        std::size_t length = 0;
        lzr.FindMatch(in.data(), 0, in.size(), source, length);
        const bool found = lzr.FindMatch(in.data(), 3 + gap, in.size(), source, length);
        EXPECT_EQ(found, 3 + gap <= 4095) << gap;
    }
}

TEST(BlockRoundTrip, ManySizesAndKinds)
{
    TLZR lzr;
    const std::size_t sizes[] = {0, 1, 2, 3, 4, 15, 16, 17, 18, 19, 20, 31, 32, 33, 100, 255,
                                 4094, 4095, 4096, 4097, 8191, 16384, 32767, 32768};
    for (Kind kind : {Kind::Text, Kind::Random, Kind::Runs, Kind::Mixed}) {
        for (std::size_t n : sizes) {
            const Bytes in = makeData(kind, n, n + 7);
            const Bytes block = compress(lzr, in);
            ASSERT_GE(block.size(), 1u);
            ASSERT_LE(block.size(), n + 1);
            Bytes back;
            ASSERT_EQ(decompress(block, back), static_cast<std::ptrdiff_t>(n))
                << kindName(kind) << " " << n;
            EXPECT_EQ(firstDifference(in, back), "") << kindName(kind) << " " << n;
        }
    }
}

struct DamagedCase {
    const char *name;
    Bytes block;
    std::size_t capacity;
};

void PrintTo(const DamagedCase &c, std::ostream *os) { *os << c.name; }

Bytes literalsThenTruncatedWord()
{
    Bytes b = {0x40, 0x00, 0x00};
    b.insert(b.end(), 16, 'x');
    b.push_back(0x00); // half a control word
    return b;
}

class DamagedBlocks : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedBlocks, AreReportedWithoutLeavingTheBuffers)
{
    const DamagedCase &c = GetParam();
    Bytes out;
    EXPECT_EQ(decompress(c.block, out, c.capacity), TLZR::kDamaged);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, DamagedBlocks,
    ::testing::Values(
        DamagedCase{"control_word_cut", {0x40, 0x00}, TLZR::kBlockSize},
        DamagedCase{"second_control_word_cut", literalsThenTruncatedWord(), TLZR::kBlockSize},
        DamagedCase{"match_cut", {0x40, 0x80, 0x00, 0x00}, TLZR::kBlockSize},
        DamagedCase{"run_cut", {0x40, 0x80, 0x00, 0x00, 0x00, 0x00}, TLZR::kBlockSize},
        DamagedCase{"distance_before_start", {0x40, 0x80, 0x00, 0x00, 0x10}, TLZR::kBlockSize},
        DamagedCase{"distance_past_output", {0x40, 0x40, 0x00, 'a', 0x00, 0x20}, TLZR::kBlockSize},
        DamagedCase{"run_beyond_capacity", {0x40, 0x80, 0x00, 0x00, 0xFF, 0xFF, 'r'}, TLZR::kBlockSize},
        DamagedCase{"run_one_past_capacity", {0x40, 0x80, 0x00, 0x00, 0x00, 0x01, 'r'}, 16},
        DamagedCase{"match_one_past_capacity", {0x40, 0x40, 0x00, 'a', 0x00, 0x10}, 3},
        DamagedCase{"literal_past_capacity", {0x40, 0x00, 0x00, 'a', 'b'}, 1},
        DamagedCase{"copied_past_capacity", {0x80, 'a', 'b', 'c'}, 2},
        DamagedCase{"nine_full_runs_overflow", concat({{0x40, 0xFF, 0x80}, [] {
                        Bytes r;
                        for (int i = 0; i < 9; ++i)
                            r.insert(r.end(), {0x00, 0x0F, 0xEF, 'z'});
                        return r;
                    }()}), TLZR::kBlockSize}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(DamagedBlocks, ExactFitIsNotDamage)
{
    // A run that ends exactly at the capacity, and a match that does.
    Bytes out;
    EXPECT_EQ(decompress({0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 'r'}, out, 16), 16);
    EXPECT_EQ(decompress({0x40, 0x40, 0x00, 'a', 0x00, 0x10}, out, 4), 4);
}

TEST(DamagedBlocks, RandomBytesNeverOverrunTheBuffers)
{
    // Every decode goes into a buffer sized exactly to its capacity; the
    // sanitizer build turns any stray write into a failure.
    Rng rng(42);
    for (int round = 0; round < 3000; ++round) {
        Bytes block(1 + rng.below(600));
        for (auto &b : block)
            b = static_cast<std::uint8_t>(rng.next());
        block[0] = 0x40;
        const std::size_t capacity = 1 + rng.below(2000);
        Bytes out;
        const std::ptrdiff_t n = decompress(block, out, capacity);
        ASSERT_TRUE(n == TLZR::kDamaged || (n >= 0 && static_cast<std::size_t>(n) <= capacity));
    }
}

} // namespace
