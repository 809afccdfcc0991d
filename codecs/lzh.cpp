#include "lzh.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr int kRingSize = 4096;                            // N
constexpr int kRingMask = kRingSize - 1;
constexpr int kMaxMatch = 60;                              // F
constexpr int kThreshold = 2;                              // matches are longer than this
constexpr int kNil = kRingSize;                            // empty tree link
constexpr int kSymbols = 256 - kThreshold + kMaxMatch;     // 314: literals, then lengths 3..60
constexpr int kNodes = 2 * kSymbols - 1;                   // 627
constexpr int kRoot = kNodes - 1;                          // 626
constexpr unsigned kMaxFreq = 0x8000;                      // rebuild when the root reaches it
constexpr int kLookaheadStart = kRingSize - kMaxMatch;     // 4036
// Tree nodes one insertion may compare against. Strings arriving in sorted
// order (fixed-width records, counters among zeros) grow a tree into a
// chain thousands of nodes deep, which made the coder crawl at ~80 KB/s;
// text and ordinary binaries never go deeper than this, so their streams
// are the same as without the bound.
constexpr int kMaxVisits = 256;
constexpr std::uint8_t kFill = 0x20;
constexpr std::size_t kChunk = 32768;
// Legitimate streams never need bits past their end; the reader tolerates
// this many zero bytes of padding before calling the stream damaged.
constexpr int kPaddingAllowance = 4;

// Position codes: the top six bits i of a 12-bit position get a code of
// kPositionBits[i] bits. Codes are assigned canonically in increasing i, so
// each i owns 2^(8 - length) consecutive values of an 8-bit window.
struct PositionTables {
    std::array<std::uint8_t, 64> length{};
    std::array<std::uint8_t, 64> code{};       // left-aligned in 8 bits
    std::array<std::uint8_t, 256> upperOf{};   // 8-bit window -> i
    std::array<std::uint8_t, 256> lengthOf{};  // 8-bit window -> code length

    constexpr PositionTables()
    {
        int i = 0;
        const auto assign = [&](int count, int bits) {
            for (int k = 0; k < count; ++k, ++i)
                length[i] = static_cast<std::uint8_t>(bits);
        };
        assign(1, 3);
        assign(3, 4);
        assign(8, 5);
        assign(12, 6);
        assign(24, 7);
        assign(16, 8);
        int next = 0;
        for (int u = 0; u < 64; ++u) {
            code[u] = static_cast<std::uint8_t>(next);
            const int span = 1 << (8 - length[u]);
            for (int v = next; v < next + span; ++v) {
                upperOf[v] = static_cast<std::uint8_t>(u);
                lengthOf[v] = length[u];
            }
            next += span;
        }
    }
};
constexpr PositionTables kPositions;

// The adaptive Huffman tree. Nodes are kept in order of weight; a node at
// position k has its children at son[k] and son[k] + 1 (a leaf's "child" is
// kNodes + symbol), so the bit for a node is its position's parity.
struct HuffmanTree {
    std::array<std::uint16_t, kNodes + 1> freq{};            // + sentinel
    std::array<std::int16_t, kNodes + kSymbols> prnt{};      // nodes, then leaves
    std::array<std::int16_t, kNodes> son{};

    void start()
    {
        for (int i = 0; i < kSymbols; ++i) {
            freq[i] = 1;
            son[i] = static_cast<std::int16_t>(i + kNodes);
            prnt[i + kNodes] = static_cast<std::int16_t>(i);
        }
        for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            freq[j] = static_cast<std::uint16_t>(freq[i] + freq[i + 1]);
            son[j] = static_cast<std::int16_t>(i);
            prnt[i] = prnt[i + 1] = static_cast<std::int16_t>(j);
        }
        freq[kNodes] = 0xFFFF;
        prnt[kRoot] = 0;
    }

    // Halves the weights and rebuilds the tree from its leaves.
    void rebuild()
    {
        int j = 0;
        for (int i = 0; i < kNodes; ++i) {
            if (son[i] >= kNodes) {
                freq[j] = static_cast<std::uint16_t>((freq[i] + 1) / 2);
                son[j] = son[i];
                ++j;
            }
        }
        for (int i = 0, k = kSymbols; k < kNodes; i += 2, ++k) {
            const std::uint16_t f = static_cast<std::uint16_t>(freq[i] + freq[i + 1]);
            int at = k - 1;
            while (f < freq[at])
                --at;
            ++at;
            for (int m = k; m > at; --m) {
                freq[m] = freq[m - 1];
                son[m] = son[m - 1];
            }
            freq[at] = f;
            son[at] = static_cast<std::int16_t>(i);
        }
        for (int i = 0; i < kNodes; ++i) {
            const int k = son[i];
            prnt[k] = static_cast<std::int16_t>(i);
            if (k < kNodes)
                prnt[k + 1] = static_cast<std::int16_t>(i);
        }
    }

    void update(int symbol)
    {
        if (freq[kRoot] == kMaxFreq)
            rebuild();
        int c = prnt[symbol + kNodes];
        do {
            const std::uint16_t k = ++freq[c];
            if (k > freq[c + 1]) {
                // Move c behind the last node lighter than it, exchanging
                // the two subtrees.
                int l = c + 1;
                while (k > freq[l + 1])
                    ++l;
                freq[c] = freq[l];
                freq[l] = k;

                const int i = son[c];
                prnt[i] = static_cast<std::int16_t>(l);
                if (i < kNodes)
                    prnt[i + 1] = static_cast<std::int16_t>(l);

                const int j = son[l];
                son[l] = static_cast<std::int16_t>(i);
                prnt[j] = static_cast<std::int16_t>(c);
                if (j < kNodes)
                    prnt[j + 1] = static_cast<std::int16_t>(c);
                son[c] = static_cast<std::int16_t>(j);
                c = l;
            }
            c = prnt[c];
        } while (c != 0);
    }
};

// Per-call state of both directions; one allocation, released on return.
struct Tables {
    std::array<std::uint8_t, kRingSize + kMaxMatch - 1> text{};
    std::array<std::int16_t, kRingSize + 1> lson{};
    std::array<std::int16_t, kRingSize + 1> dad{};
    std::array<std::int16_t, kRingSize + 1 + 256> rson{};
    HuffmanTree tree;
};

std::unique_ptr<Tables> allocateTables()
{
    try {
        return std::make_unique<Tables>();
    } catch (const std::bad_alloc &) {
        throw ElzhException("LZH : Cannot get memory for dictionary tables");
    }
}

class ByteInput {
public:
    explicit ByteInput(const TLZH::ReadFn &read) : m_read(read), m_buffer(kChunk) {}

    // Next byte, or -1 at the end.
    int get()
    {
        if (m_pos == m_end) {
            if (m_atEnd)
                return -1;
            m_end = m_read(m_buffer.data(), kChunk);
            m_pos = 0;
            if (m_end < kChunk)
                m_atEnd = true;
            if (m_end == 0)
                return -1;
        }
        return m_buffer[m_pos++];
    }

private:
    const TLZH::ReadFn &m_read;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
};

class ByteOutput {
public:
    explicit ByteOutput(const TLZH::WriteFn &write) : m_write(write), m_buffer(kChunk) {}

    void put(std::uint8_t b)
    {
        m_buffer[m_fill++] = b;
        if (m_fill == kChunk)
            flush();
    }

    void flush()
    {
        if (m_fill > 0)
            m_write(m_buffer.data(), m_fill);
        m_total += static_cast<std::int64_t>(m_fill);
        m_fill = 0;
    }

    std::int64_t total() const { return m_total + static_cast<std::int64_t>(m_fill); }

private:
    const TLZH::WriteFn &m_write;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_fill = 0;
    std::int64_t m_total = 0;
};

class BitWriter {
public:
    explicit BitWriter(ByteOutput &out) : m_out(out) {}

    // Appends the low `count` bits of `bits`, most significant first.
    void put(std::uint32_t bits, int count)
    {
        m_acc = (m_acc << count) | (bits & ((1u << count) - 1));
        m_count += count;
        while (m_count >= 8) {
            m_count -= 8;
            m_out.put(static_cast<std::uint8_t>(m_acc >> m_count));
        }
    }

    // Pads the last byte with zero bits.
    void finish()
    {
        if (m_count > 0)
            m_out.put(static_cast<std::uint8_t>(m_acc << (8 - m_count)));
        m_count = 0;
    }

private:
    ByteOutput &m_out;
    std::uint32_t m_acc = 0; // only the low m_count bits are pending
    int m_count = 0;
};

class BitReader {
public:
    explicit BitReader(ByteInput &in) : m_in(in) {}

    int bit() { return static_cast<int>(take(1)); }

    std::uint32_t take(int count)
    {
        while (m_count < count) {
            int b = m_in.get();
            if (b < 0) {
                b = 0;
                ++m_padding;
            }
            m_acc = (m_acc << 8) | static_cast<std::uint32_t>(b);
            m_count += 8;
        }
        m_count -= count;
        return (m_acc >> m_count) & ((1u << count) - 1);
    }

    bool exhausted() const { return m_padding > kPaddingAllowance; }

private:
    ByteInput &m_in;
    std::uint32_t m_acc = 0;
    int m_count = 0;
    int m_padding = 0;
};

// How many of the kMaxMatch bytes at a and b agree, given that the first
// `from` do; cmp gets the sign of the first difference (0 when none). Eight
// bytes at a time: on runs and records, where the strings share long
// prefixes, the byte loop was most of the coder's time.
int commonLength(const std::uint8_t *a, const std::uint8_t *b, int from, int &cmp)
{
    int i = from;
    for (; i + 8 <= kMaxMatch; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little)
                i += std::countr_zero(x ^ y) / 8;
            else
                i += std::countl_zero(x ^ y) / 8;
            cmp = a[i] - b[i];
            return i;
        }
    }
    for (; i < kMaxMatch; ++i) {
        cmp = a[i] - b[i];
        if (cmp != 0)
            return i;
    }
    cmp = 0;
    return i;
}

class Encoder {
public:
    Encoder(Tables &t, BitWriter &bits) : m_t(t), m_bits(bits)
    {
        for (int i = kRingSize + 1; i <= kRingSize + 256; ++i)
            m_t.rson[i] = kNil;
        for (int i = 0; i < kRingSize; ++i)
            m_t.dad[i] = kNil;
    }

    int matchLength = 0;
    int matchPosition = 0;

    // Enters the 60-byte string at r into the tree of its first byte and
    // finds, along the way, the longest earlier string sharing more than
    // kThreshold leading bytes with it (the nearest one among equals). A
    // string equal in all 60 bytes takes the older one's place. After
    // kMaxVisits comparisons the search stops with the best match so far,
    // and r goes in at the top of its tree: the deep nodes of a tree that
    // long are its old ones, while the likeliest matches for the next
    // strings are the recent ones, which the next search then meets first.
    // (Going in at the place where the search stopped kept the ratio of
    // fixed-width records 14% worse; at the top it stays within 1%.)
    void insert(int r)
    {
        const std::uint8_t *key = &m_t.text[r];
        auto &lson = m_t.lson;
        auto &rson = m_t.rson;
        auto &dad = m_t.dad;
        int p = kRingSize + 1 + key[0];
        int cmp = 1;
        lson[r] = rson[r] = kNil;
        matchLength = 0;
        int visited = 0;
        int top = kNil;   // the first node compared, just under the root
        int topCmp = 0;   // and how r compared with it
        for (;;) {
            if (cmp >= 0) {
                if (rson[p] == kNil) {
                    rson[p] = static_cast<std::int16_t>(r);
                    dad[r] = static_cast<std::int16_t>(p);
                    return;
                }
                p = rson[p];
            } else {
                if (lson[p] == kNil) {
                    lson[p] = static_cast<std::int16_t>(r);
                    dad[r] = static_cast<std::int16_t>(p);
                    return;
                }
                p = lson[p];
            }
            const int i = commonLength(key, &m_t.text[p], 1, cmp);
            if (i > kThreshold) {
                const int position = ((r - p) & kRingMask) - 1;
                if (i > matchLength) {
                    matchPosition = position;
                    matchLength = i;
                    if (i >= kMaxMatch)
                        break;
                } else if (i == matchLength && position < matchPosition) {
                    matchPosition = position;
                }
            }
            if (visited == 0) {
                top = p;
                topCmp = cmp;
            }
            if (++visited == kMaxVisits) {
                spliceAbove(r, top, topCmp);
                return;
            }
        }
        dad[r] = dad[p];
        lson[r] = lson[p];
        rson[r] = rson[p];
        dad[lson[p]] = static_cast<std::int16_t>(r);
        dad[rson[p]] = static_cast<std::int16_t>(r);
        if (rson[dad[p]] == p)
            rson[dad[p]] = static_cast<std::int16_t>(r);
        else
            lson[dad[p]] = static_cast<std::int16_t>(r);
        dad[p] = kNil;
    }

    // Puts r in p's place and p under r, on the side where it belongs
    // relative to r (cmp < 0: r sorts before p). p keeps its subtrees, so
    // every node stays linked exactly once and remove() needs nothing
    // else; only the order of r against p's descendants is not checked,
    // which can hide some of them from later searches but never makes a
    // match wrong, since each match is measured on the bytes themselves
    // (and no search relies on the order to skip bytes).
    void spliceAbove(int r, int p, int cmp)
    {
        auto &lson = m_t.lson;
        auto &rson = m_t.rson;
        auto &dad = m_t.dad;
        dad[r] = dad[p];
        if (rson[dad[p]] == p)
            rson[dad[p]] = static_cast<std::int16_t>(r);
        else
            lson[dad[p]] = static_cast<std::int16_t>(r);
        if (cmp < 0) {
            rson[r] = static_cast<std::int16_t>(p);
            lson[r] = kNil;
        } else {
            lson[r] = static_cast<std::int16_t>(p);
            rson[r] = kNil;
        }
        dad[p] = static_cast<std::int16_t>(r);
    }

    // Removes the string at p, if it is in a tree. A node with two subtrees
    // is replaced by the greatest node of its left subtree.
    void remove(int p)
    {
        auto &lson = m_t.lson;
        auto &rson = m_t.rson;
        auto &dad = m_t.dad;
        if (dad[p] == kNil)
            return;
        int q;
        if (rson[p] == kNil) {
            q = lson[p];
        } else if (lson[p] == kNil) {
            q = rson[p];
        } else {
            q = lson[p];
            if (rson[q] != kNil) {
                do
                    q = rson[q];
                while (rson[q] != kNil);
                rson[dad[q]] = lson[q];
                dad[lson[q]] = dad[q];
                lson[q] = lson[p];
                dad[lson[p]] = static_cast<std::int16_t>(q);
            }
            rson[q] = rson[p];
            dad[rson[p]] = static_cast<std::int16_t>(q);
        }
        dad[q] = dad[p];
        if (rson[dad[p]] == p)
            rson[dad[p]] = static_cast<std::int16_t>(q);
        else
            lson[dad[p]] = static_cast<std::int16_t>(q);
        dad[p] = kNil;
    }

    // The path from the root to the symbol's leaf, then the tree adapts.
    void putSymbol(int symbol)
    {
        std::array<std::uint8_t, kNodes> path;
        int depth = 0;
        for (int k = m_t.tree.prnt[symbol + kNodes]; k != kRoot; k = m_t.tree.prnt[k])
            path[depth++] = static_cast<std::uint8_t>(k & 1);
        while (depth > 0)
            m_bits.put(path[--depth], 1);
        m_t.tree.update(symbol);
    }

    void putPosition(int position)
    {
        const int upper = position >> 6;
        const int len = kPositions.length[upper];
        m_bits.put(kPositions.code[upper] >> (8 - len), len);
        m_bits.put(static_cast<std::uint32_t>(position & 0x3F), 6);
    }

private:
    Tables &m_t;
    BitWriter &m_bits;
};

} // namespace

std::int64_t TLZH::Compress(const ReadFn &read, const WriteFn &write)
{
    const std::unique_ptr<Tables> tables = allocateTables();
    Tables &t = *tables;
    ByteInput in(read);
    ByteOutput out(write);
    BitWriter bits(out);
    Encoder enc(t, bits);
    t.tree.start();

    // The whole ring starts as blanks, the copy of its first bytes behind
    // the end (kept so that a 60-byte comparison never wraps) with it; the
    // blanks past a short input are what its last strings compare against.
    t.text.fill(kFill);

    int s = 0;
    int r = kLookaheadStart;
    int len = 0;
    for (; len < kMaxMatch; ++len) {
        const int c = in.get();
        if (c < 0)
            break;
        t.text[r + len] = static_cast<std::uint8_t>(c);
    }
    for (int i = 1; i <= kMaxMatch; ++i)
        enc.insert(r - i);
    enc.insert(r);

    do {
        if (enc.matchLength > len)
            enc.matchLength = len;
        if (enc.matchLength <= kThreshold) {
            enc.matchLength = 1;
            enc.putSymbol(t.text[r]);
        } else {
            enc.putSymbol(255 - kThreshold + enc.matchLength);
            enc.putPosition(enc.matchPosition);
        }
        const int itemLength = enc.matchLength;
        int i = 0;
        for (; i < itemLength; ++i) {
            const int c = in.get();
            if (c < 0)
                break;
            enc.remove(s);
            t.text[s] = static_cast<std::uint8_t>(c);
            if (s < kMaxMatch - 1)
                t.text[s + kRingSize] = static_cast<std::uint8_t>(c);
            s = (s + 1) & kRingMask;
            r = (r + 1) & kRingMask;
            enc.insert(r);
        }
        for (; i < itemLength; ++i) {
            enc.remove(s);
            s = (s + 1) & kRingMask;
            r = (r + 1) & kRingMask;
            if (--len != 0)
                enc.insert(r);
        }
    } while (len > 0);

    bits.finish();
    out.flush();
    return out.total();
}

std::int64_t TLZH::Decompress(const ReadFn &read, const WriteFn &write, std::int64_t size)
{
    const std::unique_ptr<Tables> tables = allocateTables();
    Tables &t = *tables;
    ByteInput in(read);
    ByteOutput out(write);
    BitReader bits(in);
    HuffmanTree &tree = t.tree;
    tree.start();

    t.text.fill(kFill);
    int r = kLookaheadStart;
    std::int64_t produced = 0;
    while (produced < size) {
        if (bits.exhausted())
            break;
        int node = tree.son[kRoot];
        while (node < kNodes)
            node = tree.son[node + bits.bit()];
        const int symbol = node - kNodes;
        tree.update(symbol);

        if (symbol < 256) {
            const auto b = static_cast<std::uint8_t>(symbol);
            out.put(b);
            t.text[r] = b;
            r = (r + 1) & kRingMask;
            ++produced;
            continue;
        }
        std::uint32_t window = bits.take(8);
        const int upper = kPositions.upperOf[window];
        const int extra = kPositions.lengthOf[window] - 2;
        window = (window << extra) | bits.take(extra);
        const int position = (upper << 6) | static_cast<int>(window & 0x3F);
        const int from = (r - position - 1) & kRingMask;
        const int length = symbol - 255 + kThreshold;
        for (int k = 0; k < length; ++k) {
            const std::uint8_t b = t.text[(from + k) & kRingMask];
            out.put(b);
            t.text[r] = b;
            r = (r + 1) & kRingMask;
        }
        produced += length;
    }
    out.flush();
    return produced;
}
