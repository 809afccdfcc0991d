// Throughput of the container's two methods against LZ4 (default level)
// and zlib (levels 1 and 6), all measured in the same run on the same
// deterministic corpus. Not a test: it prints figures.
//
//   codec_bench [seconds-per-measurement]

#include "lzrw1.h"

#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCorpusSize = 2 * 1024 * 1024;
constexpr std::size_t kStructuredSize = 1024 * 1024;
const char *const kSystemBinary = "/usr/lib/x86_64-linux-gnu/libc.so.6";

double g_seconds = 0.3;

std::uint64_t g_state = 0x2545F4914F6CDD1DULL;
std::uint32_t nextRandom()
{
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return static_cast<std::uint32_t>(g_state >> 11);
}

// Words drawn with a skewed distribution, sentences and paragraphs: close
// enough to English for an LZ coder.
Bytes englishLike(std::size_t size)
{
    static const char *const words[] = {
        "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with",
        "be", "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which",
        "but", "have", "an", "had", "they", "you", "were", "their", "one", "all", "we",
        "can", "her", "has", "there", "been", "if", "more", "when", "will", "would", "who",
        "so", "no", "card", "cards", "square", "cribbage", "starter", "fifteen", "points",
        "player", "round", "score", "flush", "knob", "pair", "run", "board", "column", "row"};
    const std::size_t count = std::size(words);
    Bytes out;
    bool capital = true;
    while (out.size() < size) {
        const std::size_t pick = std::min<std::size_t>(
            count - 1, (nextRandom() % count) * (nextRandom() % count) / count);
        std::string w = words[pick];
        if (capital)
            w[0] = static_cast<char>(w[0] - 'a' + 'A');
        capital = false;
        out.insert(out.end(), w.begin(), w.end());
        const std::uint32_t r = nextRandom() % 100;
        if (r < 8) {
            out.push_back('.');
            capital = true;
            if (r < 2) {
                out.push_back('\n');
                out.push_back('\n');
                continue;
            }
        } else if (r < 14) {
            out.push_back(',');
        }
        out.push_back(' ');
    }
    out.resize(size);
    return out;
}

// The system's C library when present; otherwise something shaped like
// machine code: short opcodes, small immediates, zero padding, tables.
Bytes binary(std::size_t size, std::string &name)
{
    std::ifstream in(kSystemBinary, std::ios::binary);
    if (in) {
        Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.size() >= 65536) {
            name = kSystemBinary;
            data.resize(std::min(data.size(), size));
            return data;
        }
    }
    name = "generated binary";
    Bytes out;
    while (out.size() < size) {
        const std::uint32_t r = nextRandom();
        switch (r % 4) {
        case 0:
            out.insert(out.end(), {0x48, 0x89, static_cast<std::uint8_t>(0xC0 | (r >> 8 & 0x3F))});
            break;
        case 1:
            out.insert(out.end(), {0xE8, static_cast<std::uint8_t>(r >> 8), static_cast<std::uint8_t>(r >> 16), 0, 0});
            break;
        case 2:
            out.insert(out.end(), (r >> 8) % 24, 0);
            break;
        default:
            for (int i = 0; i < 6; ++i)
                out.push_back(static_cast<std::uint8_t>(nextRandom()));
        }
    }
    out.resize(size);
    return out;
}

// One tally grid's text: 9 columns by 12 rows, column by column, CR LF.
Bytes tallyGrid()
{
    static const char *const names[] = {"Guest", "Martha", "Ken", "Jo", "Pegmaster", "Lou",
                                        "Anna", "Bert", "Guest", "Zoe"};
    std::string text = "9\r\n12\r\n";
    for (int col = 0; col < 9; ++col) {
        for (int row = 0; row < 12; ++row) {
            std::string cell;
            if (row == 0 && col <= 4)
                cell = std::to_string(col == 0 ? 1742 : col == 1 ? 988 : col == 2 ? 57 : 0);
            else if (row >= 1 && row <= 10 && col == 0)
                cell = std::to_string(10 + row) + "/0" + std::to_string(1 + row % 9) + "/2024";
            else if (row >= 1 && row <= 10 && col == 1)
                cell = std::to_string(400 - 17 * row);
            else if (row >= 1 && row <= 10 && col == 2)
                cell = names[row - 1];
            text += cell + "\r\n";
        }
    }
    return Bytes(text.begin(), text.end());
}

// Structured data whose strings arrive in sorted order, the LZH coder's
// hardest case: 64-byte text records with rising ids, and 16-byte cells of
// zeros ending in a big-endian counter.
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

Bytes countersAmongZeros(std::size_t size)
{
    Bytes out;
    for (std::uint32_t i = 0; out.size() < size; ++i) {
        out.insert(out.end(), 12, 0);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(i >> shift));
    }
    out.resize(size);
    return out;
}

// Best time of one call of `fn`, in seconds, over a few timed batches.
double timeOf(const std::function<void()> &fn)
{
    fn(); // warm up
    double best = 1e9;
    const auto deadline = Clock::now() + std::chrono::duration<double>(g_seconds);
    int batch = 1;
    do {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i)
            fn();
        const double each = std::chrono::duration<double>(Clock::now() - start).count() / batch;
        best = std::min(best, each);
        if (each * batch < 0.02)
            batch *= 2;
    } while (Clock::now() < deadline);
    return best;
}

struct Result {
    std::string method;
    std::size_t packed = 0;
    double compressMBs = 0;
    double decompressMBs = 0;
    bool exact = false;
};

double mbPerSecond(std::size_t bytes, double seconds)
{
    return static_cast<double>(bytes) / 1e6 / seconds;
}

Result measureContainer(const char *label, TCompressMode mode, const Bytes &data)
{
    Tlzrw1 c;
    c.CompressMode = mode;
    Result r{label};
    Bytes packed;
    r.compressMBs = mbPerSecond(data.size(), timeOf([&] { packed = c.CompressBytes(data); }));
    Bytes back;
    r.decompressMBs = mbPerSecond(data.size(), timeOf([&] { back = c.DecompressBytes(packed); }));
    r.packed = packed.size();
    r.exact = back == data;
    return r;
}

Result measureLz4(const Bytes &data)
{
    Result r{"lz4 default"};
    Bytes packed(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(data.size()))));
    int n = 0;
    r.compressMBs = mbPerSecond(data.size(), timeOf([&] {
        n = LZ4_compress_default(reinterpret_cast<const char *>(data.data()),
                                 reinterpret_cast<char *>(packed.data()),
                                 static_cast<int>(data.size()), static_cast<int>(packed.size()));
    }));
    Bytes back(data.size());
    r.decompressMBs = mbPerSecond(data.size(), timeOf([&] {
        LZ4_decompress_safe(reinterpret_cast<const char *>(packed.data()),
                            reinterpret_cast<char *>(back.data()), n, static_cast<int>(back.size()));
    }));
    r.packed = static_cast<std::size_t>(n);
    r.exact = back == data;
    return r;
}

Result measureZlib(int level, const Bytes &data)
{
    Result r{"zlib level " + std::to_string(level)};
    Bytes packed(compressBound(data.size()));
    uLongf n = 0;
    r.compressMBs = mbPerSecond(data.size(), timeOf([&] {
        n = packed.size();
        compress2(packed.data(), &n, data.data(), data.size(), level);
    }));
    Bytes back(data.size());
    r.decompressMBs = mbPerSecond(data.size(), timeOf([&] {
        uLongf m = back.size();
        uncompress(back.data(), &m, packed.data(), n);
    }));
    r.packed = n;
    r.exact = back == data;
    return r;
}

void report(const std::string &corpus, const Bytes &data)
{
    std::printf("\n== %s: %zu bytes ==\n", corpus.c_str(), data.size());
    std::vector<Result> results = {
        measureContainer("lzrw1/kh (fast)", TCompressMode::Fast, data),
        measureContainer("lzh (good)", TCompressMode::Good, data),
        measureLz4(data),
        measureZlib(1, data),
        measureZlib(6, data),
    };
    std::printf("%-18s %10s %8s %12s %12s  %s\n", "method", "packed", "ratio", "comp MB/s",
                "decomp MB/s", "round trip");
    for (const Result &r : results)
        std::printf("%-18s %10zu %7.1f%% %12.1f %12.1f  %s\n", r.method.c_str(), r.packed,
                    100.0 * static_cast<double>(r.packed) / static_cast<double>(data.size()),
                    r.compressMBs, r.decompressMBs, r.exact ? "exact" : "MISMATCH");
    for (std::size_t ours = 0; ours < 2; ++ours) {
        for (std::size_t peer = 2; peer < results.size(); ++peer) {
            const Result &a = results[ours];
            const Result &b = results[peer];
            std::printf("  %-16s vs %-13s compress %5.2fx  decompress %5.2fx  size %5.2fx\n",
                        a.method.c_str(), b.method.c_str(), a.compressMBs / b.compressMBs,
                        a.decompressMBs / b.decompressMBs,
                        static_cast<double>(a.packed) / static_cast<double>(b.packed));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        g_seconds = std::max(0.05, std::atof(argv[1]));
    std::printf("Each figure is the best of repeated runs over %.2f s; MB = 10^6 bytes of "
                "original data.\n", g_seconds);
    report("English-like text", englishLike(kCorpusSize));
    std::string binaryName;
    const Bytes bin = binary(kCorpusSize, binaryName);
    report("binary (" + binaryName + ")", bin);
    report("fixed-width records", fixedWidthRecords(kStructuredSize));
    report("counters among zeros", countersAmongZeros(kStructuredSize));
    // The real workload: one small grid text per call.
    report("one tally grid text", tallyGrid());
    return 0;
}
