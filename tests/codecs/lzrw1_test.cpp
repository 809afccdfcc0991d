#include "lzrw1.h"

#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

std::uint32_t le32(const Bytes &b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// Block lengths of an LZRW1/KH container, in order.
std::vector<std::size_t> blockLengths(const Bytes &container)
{
    std::vector<std::size_t> lengths;
    for (std::size_t at = Tlzrw1::kHeaderSize; at + 2 <= container.size();) {
        const std::size_t len = container[at] | (container[at + 1] << 8);
        lengths.push_back(len);
        at += 2 + len;
    }
    return lengths;
}

// ---- golden containers ----

struct GoldenCase {
    const char *input; // empty string: an empty input
    const char *container;
    TCompressMode mode;
};

void PrintTo(const GoldenCase &c, std::ostream *os) { *os << c.container; }

class Golden : public ::testing::TestWithParam<GoldenCase> {
protected:
    Bytes input() const
    {
        return *GetParam().input ? readFile(dataFile(GetParam().input)) : Bytes{};
    }
};

TEST_P(Golden, FileCallsWriteAndReadTheExactBytes)
{
    TempFolder dir;
    writeFile(dir / "in", input());
    Tlzrw1 c;
    c.CompressMode = GetParam().mode;
    c.InputFile = dir / "in";
    c.OutputFile = dir / "packed";
    const Bytes expected = readFile(dataFile(GetParam().container));
    EXPECT_EQ(c.Compress(), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(firstDifference(expected, readFile(dir / "packed")), "");

    Tlzrw1 d; // whatever its mode, the identifier decides
    d.CompressMode = GetParam().mode == TCompressMode::Fast ? TCompressMode::Good : TCompressMode::Fast;
    d.InputFile = dataFile(GetParam().container);
    d.OutputFile = dir / "restored";
    EXPECT_EQ(d.Decompress(), static_cast<std::int64_t>(input().size()));
    EXPECT_EQ(firstDifference(input(), readFile(dir / "restored")), "");
}

TEST_P(Golden, MemoryCallsGiveTheSameBytes)
{
    Tlzrw1 c;
    c.CompressMode = GetParam().mode;
    const Bytes expected = readFile(dataFile(GetParam().container));
    EXPECT_EQ(firstDifference(expected, c.CompressBytes(input())), "");
    EXPECT_EQ(firstDifference(input(), c.DecompressBytes(expected)), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, Golden,
    ::testing::Values(GoldenCase{"", "empty.wrzl", TCompressMode::Fast},
                      GoldenCase{"abc12.txt", "abc12.wrzl", TCompressMode::Fast},
                      GoldenCase{"tallygrid.txt", "tallygrid.wrzl", TCompressMode::Fast},
                      GoldenCase{"mixed70000.bin", "mixed70000.wrzl", TCompressMode::Fast},
                      GoldenCase{"", "empty.hzl", TCompressMode::Good},
                      GoldenCase{"tallygrid.txt", "tallygrid.hzl", TCompressMode::Good},
                      GoldenCase{"mixed70000.bin", "mixed70000.hzl", TCompressMode::Good}),
    [](const auto &row) {
        std::string n = row.param.container;
        n[n.find('.')] = '_';
        return n;
    });

TEST(Container, EmptyInputIsElevenBytes)
{
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    EXPECT_EQ(c.CompressBytes({}),
              (Bytes{0x57, 0x52, 0x5A, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x80}));
}

TEST(Container, WholeBlocksEndWithAnEmptyBlock)
{
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    struct Row {
        std::size_t size;
        std::size_t blocks;
    };
    for (const Row row : {Row{1, 1}, Row{32767, 1}, Row{32768, 2}, Row{32769, 2}, Row{65536, 3}}) {
        const Bytes packed = c.CompressBytes(makeData(Kind::Text, row.size));
        EXPECT_EQ(le32(packed, 0), Tlzrw1::kIdLzrw1kh);
        EXPECT_EQ(le32(packed, 4), row.size);
        const auto lengths = blockLengths(packed);
        ASSERT_EQ(lengths.size(), row.blocks) << row.size;
        if (row.size % TLZR::kBlockSize == 0) {
            EXPECT_EQ(lengths.back(), 1u);
            EXPECT_EQ(packed.back(), TLZR::kFlagCopied);
        }
    }
}

TEST(Container, RoundTripsAroundBlockBoundariesInBothMethods)
{
    const std::size_t sizes[] = {0, 1, 100, 32767, 32768, 32769, 65535, 65536, 65537, 98304, 100001};
    for (TCompressMode mode : {TCompressMode::Fast, TCompressMode::Good}) {
        Tlzrw1 c;
        c.CompressMode = mode;
        for (Kind kind : {Kind::Text, Kind::Random, Kind::Mixed}) {
            for (std::size_t n : sizes) {
                const Bytes in = makeData(kind, n, n);
                const Bytes back = c.DecompressBytes(c.CompressBytes(in));
                EXPECT_EQ(firstDifference(in, back), "")
                    << (mode == TCompressMode::Fast ? "fast " : "good ") << kindName(kind) << " " << n;
            }
        }
    }
}

TEST(Container, ProgressIsReportedAfterEveryBlock)
{
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    c.OnProgress = [&](std::int64_t read, std::int64_t written) { seen.emplace_back(read, written); };
    const Bytes packed = c.CompressBytes(makeData(Kind::Text, 70000));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, 32768);
    EXPECT_EQ(seen[2].first, 70000);
    EXPECT_EQ(seen[2].second, static_cast<std::int64_t>(packed.size()));
    seen.clear();
    c.DecompressBytes(packed);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(Container, AdviseSamplesTwoBlocks)
{
    struct Row {
        const char *name;
        Bytes data;
        int threshold;
        TCompressMode expected;
    };
    const Row rows[] = {
        {"small_text", makeData(Kind::Text, 98303), 40, TCompressMode::Good},
        {"large_runs", makeData(Kind::Runs, 98304), 40, TCompressMode::Fast},
        {"large_random", makeData(Kind::Random, 200000), 40, TCompressMode::Good},
        {"large_text_strict", makeData(Kind::Text, 200000), 1, TCompressMode::Good},
        {"large_text_lenient", makeData(Kind::Text, 200000), 100, TCompressMode::Fast},
    };
    for (const Row &row : rows) {
        Tlzrw1 c;
        c.CompressMode = TCompressMode::Auto;
        c.Threshold = row.threshold;
        const Bytes packed = c.CompressBytes(row.data);
        EXPECT_EQ(le32(packed, 0), row.expected == TCompressMode::Fast ? Tlzrw1::kIdLzrw1kh
                                                                       : Tlzrw1::kIdLzh)
            << row.name;
        // An input too small to sample settles the instance on "Good";
        // sampled inputs leave "Auto" in place.
        const bool small = row.data.size() < 98304;
        EXPECT_EQ(c.CompressMode, small ? TCompressMode::Good : TCompressMode::Auto) << row.name;
        Tlzrw1 fresh;
        fresh.Threshold = row.threshold;
        EXPECT_EQ(fresh.AdviseBytes(row.data), row.expected) << row.name;
    }
}

TEST(Container, AdviseOnAFileAgreesWithMemory)
{
    TempFolder dir;
    const Bytes data = makeData(Kind::Runs, 150000);
    writeFile(dir / "in", data);
    Tlzrw1 c;
    c.InputFile = dir / "in";
    EXPECT_EQ(c.Advise(), c.AdviseBytes(data));
    EXPECT_EQ(c.Advise(), TCompressMode::Fast);
}

// ---- failures: message, and nothing left behind ----

struct FailureCase {
    const char *name;
    // Prepares the instance in `dir`; returns the expected message.
    std::function<std::string(Tlzrw1 &, const TempFolder &)> setup;
    std::function<void(Tlzrw1 &)> call;
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

void compressCall(Tlzrw1 &c) { c.Compress(); }
void decompressCall(Tlzrw1 &c) { c.Decompress(); }

// A valid fast container of 70000 text bytes, altered by `edit`.
std::string damaged(Tlzrw1 &c, const TempFolder &dir, const std::function<void(Bytes &)> &edit)
{
    Tlzrw1 packer;
    packer.CompressMode = TCompressMode::Fast;
    Bytes packed = packer.CompressBytes(makeData(Kind::Text, 70000));
    edit(packed);
    writeFile(dir / "in", packed);
    c.InputFile = dir / "in";
    c.OutputFile = dir / "out";
    return c.InputFile;
}

std::string damagedGood(Tlzrw1 &c, const TempFolder &dir, const std::function<void(Bytes &)> &edit)
{
    Tlzrw1 packer;
    packer.CompressMode = TCompressMode::Good;
    Bytes packed = packer.CompressBytes(makeData(Kind::Text, 70000));
    edit(packed);
    writeFile(dir / "in", packed);
    c.InputFile = dir / "in";
    c.OutputFile = dir / "out";
    return c.InputFile;
}

void setStoredSize(Bytes &b, std::uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        b[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

const std::string kRead = "Lzrw1 : Error reading from input file : ";
const std::string kSizeFast = "Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !";
const std::string kSizeGood = "Lzrw1 (LZH decompression) : Original and compressed sizes do not match !";

class Failures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failures, RaiseTheirMessageAndLeaveNoOutput)
{
    TempFolder dir;
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    const std::string expected = GetParam().setup(c, dir);
    std::int64_t mostWritten = 0;
    c.OnProgress = [&](std::int64_t, std::int64_t written) { mostWritten = std::max(mostWritten, written); };
    try {
        GetParam().call(c);
        FAIL() << "no error raised";
    } catch (const ELzrw1Exception &e) {
        EXPECT_EQ(std::string(e.what()), expected);
    }
    // Whatever the blocks hold, restoring never writes more than the header
    // announced, so a small damaged file cannot fill the memory or the disk.
    if (fs::is_regular_file(c.InputFile)) {
        if (const auto stored = Tlzrw1::StoredSize(readFile(c.InputFile))) {
            EXPECT_LE(mostWritten, std::max<std::int64_t>(*stored, 0));
        }
    }
    if (fs::path(c.OutputFile).parent_path() == dir.path()) {
        // Neither the output nor a half-written file beside it remains,
        // whatever its name: nothing but the input.
        for (const auto &entry : fs::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string(), "in") << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Failures,
    ::testing::Values(
        FailureCase{"input_size_unknown",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        c.InputFile = dir / "missing";
                        c.OutputFile = dir / "out";
                        return "Lzrw1 compression : Failed to obtain the size of : " + c.InputFile;
                    },
                    compressCall},
        FailureCase{"input_not_openable",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        c.InputFile = dir / "missing";
                        c.OutputFile = dir / "out";
                        return "Lzrw1 (de)compression : Failed to open input file : " + c.InputFile;
                    },
                    decompressCall},
        FailureCase{"input_is_a_directory",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        c.InputFile = dir.path();
                        c.OutputFile = dir / "out";
                        return "Lzrw1 (de)compression : Failed to open input file : " + c.InputFile;
                    },
                    decompressCall},
        FailureCase{"output_not_creatable",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        writeFile(dir / "in", makeData(Kind::Text, 10));
                        c.InputFile = dir / "in";
                        c.OutputFile = dir / "no-such-dir" / "out";
                        return "Lzrw1 (de)compression : Failed to open output file : " + c.OutputFile;
                    },
                    compressCall},
        FailureCase{"output_full",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        writeFile(dir / "in", makeData(Kind::Random, 100000));
                        c.InputFile = dir / "in";
                        c.OutputFile = "/dev/full";
                        return "Lzrw1 : Error writing to output file : /dev/full";
                    },
                    compressCall},
        FailureCase{"input_changes_while_read_fast",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        // Its size reads as 0 but it has content.
                        c.InputFile = "/proc/self/status";
                        c.OutputFile = dir / "out";
                        return kRead + c.InputFile + " (LZRW1/KH)";
                    },
                    compressCall},
        FailureCase{"input_changes_while_read_good",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        c.InputFile = "/proc/self/status";
                        c.OutputFile = dir / "out";
                        c.CompressMode = TCompressMode::Good;
                        return kRead + c.InputFile + " (LZH)";
                    },
                    compressCall},
        FailureCase{"no_valid_header",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return damaged(c, dir, [](Bytes &b) { b[0] = 'X'; }) +
                               " : Lzrw1 decompression : this file has no valid header !";
                    },
                    decompressCall},
        FailureCase{"shorter_than_a_header",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return kRead + damaged(c, dir, [](Bytes &b) { b.resize(3); });
                    },
                    decompressCall},
        FailureCase{"cut_inside_a_block",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return kRead + damaged(c, dir, [](Bytes &b) { b.resize(b.size() / 2); });
                    },
                    decompressCall},
        FailureCase{"cut_before_the_closing_block",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return kRead + damaged(c, dir, [](Bytes &b) {
                                   b.resize(Tlzrw1::kHeaderSize + 2 + blockLengths(b)[0]);
                               });
                    },
                    decompressCall},
        FailureCase{"block_length_over_32769",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return kRead + damaged(c, dir, [](Bytes &b) {
                                   b[8] = 0x02;
                                   b[9] = 0x80; // 32770
                                   b.resize(b.size() + 40000, 0x80);
                               });
                    },
                    decompressCall},
        FailureCase{"stored_size_larger",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        damaged(c, dir, [](Bytes &b) { setStoredSize(b, 70001); });
                        return kSizeFast;
                    },
                    decompressCall},
        FailureCase{"stored_size_smaller",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        damaged(c, dir, [](Bytes &b) { setStoredSize(b, 1000); });
                        return kSizeFast;
                    },
                    decompressCall},
        FailureCase{"block_names_bytes_before_its_start",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        damaged(c, dir, [](Bytes &b) {
                            // First block: a copy item first, pointing back 0xFFF.
                            b[11] |= 0x80;
                            b[13] = 0xFF;
                            b[14] = 0xF0;
                        });
                        return kSizeFast;
                    },
                    decompressCall},
        FailureCase{"lzh_stored_size_smaller",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        damagedGood(c, dir, [](Bytes &b) { setStoredSize(b, 69999); });
                        return kSizeGood;
                    },
                    decompressCall},
        FailureCase{"lzh_stream_cut_short",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        damagedGood(c, dir, [](Bytes &b) {
                            b.resize(b.size() / 3);
                            setStoredSize(b, 0x7FFFFFFF);
                        });
                        return kSizeGood;
                    },
                    decompressCall},
        FailureCase{"lzh_header_cut",
                    [](Tlzrw1 &c, const TempFolder &dir) {
                        return kRead + damagedGood(c, dir, [](Bytes &b) { b.resize(6); });
                    },
                    decompressCall}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(Container, FailedCallLeavesAFormerOutputAlone)
{
    TempFolder dir;
    const Bytes former = bytesOf("the previous tally");
    writeFile(dir / "out", former);
    writeFile(dir / "in", bytesOf("WRZL\x05\0\0\0"));
    Tlzrw1 c;
    c.InputFile = dir / "in";
    c.OutputFile = dir / "out";
    EXPECT_THROW(c.Decompress(), ELzrw1Exception);
    EXPECT_EQ(readFile(dir / "out"), former);
}

TEST(Container, CompressingAFileOntoItselfKeepsTheData)
{
    TempFolder dir;
    const Bytes data = makeData(Kind::Mixed, 50000);
    writeFile(dir / "f", data);
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    c.InputFile = dir / "f";
    c.OutputFile = dir / "f";
    c.Compress();
    EXPECT_EQ(firstDifference(c.CompressBytes(data), readFile(dir / "f")), "");
    c.Decompress();
    EXPECT_EQ(firstDifference(data, readFile(dir / "f")), "");
}

// ---- where a file call puts its output ----

struct OutputPlace {
    const char *name;
    // Prepares the folder; gives the OutputFile.
    std::function<std::string(const TempFolder &)> setup;
    const char *holder; // the entry that must hold the container; empty: none
    std::set<std::string> entries;
    mode_t mode; // the holder's; 0: whatever the umask gives
};

void PrintTo(const OutputPlace &row, std::ostream *os) { *os << row.name; }

class OutputPlaces : public ::testing::TestWithParam<OutputPlace> {};

TEST_P(OutputPlaces, HoldTheContainerAndNothingElseIsLeft)
{
    TempFolder dir;
    Tlzrw1 c;
    c.CompressMode = TCompressMode::Fast;
    c.InputFile = dataFile("mixed70000.bin");
    c.OutputFile = GetParam().setup(dir);
    c.Compress();
    const std::string holder = GetParam().holder;
    if (!holder.empty()) {
        EXPECT_EQ(firstDifference(readFile(dataFile("mixed70000.wrzl")), readFile(dir / holder)), "");
    }
    std::set<std::string> entries;
    for (const auto &entry : fs::directory_iterator(dir.path()))
        entries.insert(entry.path().filename().string());
    EXPECT_EQ(entries, GetParam().entries);
    if (GetParam().mode != 0) {
        EXPECT_EQ(fs::status(dir / holder).permissions(), static_cast<fs::perms>(GetParam().mode));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputPlaces,
    ::testing::Values(
        OutputPlace{"new_file", [](const TempFolder &dir) { return (dir / "out").string(); }, "out", {"out"}, 0},
        OutputPlace{"former_file_keeps_its_mode",
                    [](const TempFolder &dir) {
                        writeFile(dir / "out", bytesOf("former"));
                        fs::permissions(dir / "out", static_cast<fs::perms>(0600));
                        return (dir / "out").string();
                    },
                    "out", {"out"}, 0600},
        OutputPlace{"link_stays_and_its_file_is_replaced",
                    [](const TempFolder &dir) {
                        writeFile(dir / "real", bytesOf("former"));
                        fs::permissions(dir / "real", static_cast<fs::perms>(0640));
                        fs::create_symlink("real", dir / "out");
                        return (dir / "out").string();
                    },
                    "real", {"out", "real"}, 0640},
        OutputPlace{"device_is_written_in_place", [](const TempFolder &) { return std::string("/dev/null"); }, "",
                    {}, 0}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(Container, MemoryMessagesCarryTheGivenNames)
{
    Tlzrw1 c;
    try {
        c.DecompressBytes(bytesOf("nope, not a container"), "tally.tld");
        FAIL() << "no error raised";
    } catch (const ELzrw1Exception &e) {
        EXPECT_EQ(std::string(e.what()), "tally.tld : Lzrw1 decompression : this file has no valid header !");
    }
}

} // namespace
