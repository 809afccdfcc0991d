#include "lzrw1.h"

#include "atomicfile.h"
#include "filedescriptor.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlockSize = TLZR::kBlockSize;
constexpr std::size_t kBufferSize = TLZR::kBufferSize;
constexpr std::size_t kMaxBlockLength = kBlockSize + 1; // the copied form of a full block
constexpr std::int64_t kSmallestFastCandidate = 3 * static_cast<std::int64_t>(kBlockSize);

// The fixed texts of every failure.
const char *const kMsgNoMemory = "Lzrw1 (de)compression : Failed to get memory for I/O buffers !";
const char *const kMsgNoSize = "Lzrw1 compression : Failed to obtain the size of : ";
const char *const kMsgOpenInput = "Lzrw1 (de)compression : Failed to open input file : ";
const char *const kMsgOpenOutput = "Lzrw1 (de)compression : Failed to open output file : ";
const char *const kMsgWrite = "Lzrw1 : Error writing to output file : ";
const char *const kMsgRead = "Lzrw1 : Error reading from input file : ";
const char *const kSuffixLzrw1kh = " (LZRW1/KH)";
const char *const kSuffixLzh = " (LZH)";
const char *const kMsgNoHeader = " : Lzrw1 decompression : this file has no valid header !";
const char *const kMsgSizeLzrw1kh =
    "Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !";
const char *const kMsgSizeLzh =
    "Lzrw1 (LZH decompression) : Original and compressed sizes do not match !";

[[noreturn]] void fail(std::string_view text, std::string_view name = {}, std::string_view suffix = {})
{
    std::string message(text);
    message += name;
    message += suffix;
    throw ELzrw1Exception(message);
}

void putLe32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getLe32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// The two I/O buffers of one call.
struct Buffers {
    std::unique_ptr<std::uint8_t[]> in;
    std::unique_ptr<std::uint8_t[]> out;

    Buffers()
    {
        try {
            in = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
            out = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
        } catch (const std::bad_alloc &) {
            fail(kMsgNoMemory);
        }
    }
};

// ---- Sources and sinks: files and memory behind one small interface ----

class Source {
public:
    virtual ~Source() = default;
    // Up to n bytes; fewer only at the end of the data or on failure.
    virtual std::size_t read(std::uint8_t *dst, std::size_t n) = 0;
    virtual bool failed() const = 0;
    virtual bool seek(std::int64_t offset) = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    // False unless all n bytes were taken.
    virtual bool write(const std::uint8_t *src, std::size_t n) = 0;
};

class FileSource final : public Source {
public:
    explicit FileSource(const std::string &path)
        : m_file(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        if (!m_file.isOpen())
            return;
        // A directory opens but cannot be read as data.
        struct stat st {};
        if (::fstat(m_file.get(), &st) != 0 || S_ISDIR(st.st_mode))
            m_file.reset();
    }

    bool isOpen() const { return m_file.isOpen(); }

    std::size_t read(std::uint8_t *dst, std::size_t n) override
    {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = platform::readSome(m_file.get(), dst + done, n - done);
            if (got < 0) {
                m_failed = true;
                break;
            }
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    bool failed() const override { return m_failed; }

    bool seek(std::int64_t offset) override
    {
        return ::lseek(m_file.get(), static_cast<off_t>(offset), SEEK_SET) == offset;
    }

private:
    platform::UniqueFd m_file;
    bool m_failed = false;
};

// Replaces a regular file all or nothing through platform::AtomicFile, so a
// failed call leaves neither a partial file nor a damaged former one, a
// crash just after a call cannot leave an empty file under the output's
// name, and compressing a file onto itself cannot destroy it. A link is
// followed, so it survives, and the former file's mode is kept. Paths that
// exist and are not regular files (a terminal, a pipe) cannot be replaced
// and are written directly.
class FileSink final : public Sink {
public:
    explicit FileSink(const std::string &path)
    {
        if (const std::optional<fs::path> target = platform::replaceableTarget(path)) {
            m_file.emplace(*target, platform::regularFileMode(*target));
            if (!m_file->isOpen())
                m_file.reset();
            return;
        }
        m_direct.reset(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    }

    bool isOpen() const { return m_file || m_direct.isOpen(); }

    bool write(const std::uint8_t *src, std::size_t n) override
    {
        const std::string_view bytes(reinterpret_cast<const char *>(src), n);
        return m_file ? m_file->write(bytes) : platform::writeAll(m_direct.get(), bytes);
    }

    // Puts the output in place (or closes it); false when that fails.
    bool commit() { return m_file ? m_file->commit() : m_direct.close(); }

private:
    std::optional<platform::AtomicFile> m_file; // empty when writing in place
    platform::UniqueFd m_direct;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t read(std::uint8_t *dst, std::size_t n) override
    {
        const std::size_t count = std::min(n, m_data.size() - m_pos);
        if (count > 0) // an empty span may have no storage at all
            std::memcpy(dst, m_data.data() + m_pos, count);
        m_pos += count;
        return count;
    }

    bool failed() const override { return false; }

    bool seek(std::int64_t offset) override
    {
        if (offset < 0 || static_cast<std::uint64_t>(offset) > m_data.size())
            return false;
        m_pos = static_cast<std::size_t>(offset);
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

class MemorySink final : public Sink {
public:
    bool write(const std::uint8_t *src, std::size_t n) override
    {
        try {
            bytes.insert(bytes.end(), src, src + n);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    std::vector<std::uint8_t> bytes;
};

// ---- The container's work, independent of where the bytes live ----

struct Names {
    std::string_view input;
    std::string_view output;
};

class Job {
public:
    Job(TLZR &lzr, TLZH &lzh, const Tlzrw1::ProgressFn &progress, Names names)
        : m_lzr(lzr), m_lzh(lzh), m_progress(progress), m_names(names)
    {
    }

    std::int64_t compress(Buffers &buf, TCompressMode mode, std::int64_t size, Source &in, Sink &out)
    {
        const bool fast = mode == TCompressMode::Fast;
        const char *suffix = fast ? kSuffixLzrw1kh : kSuffixLzh;
        std::uint8_t header[Tlzrw1::kHeaderSize];
        putLe32(header, fast ? Tlzrw1::kIdLzrw1kh : Tlzrw1::kIdLzh);
        putLe32(header + 4, static_cast<std::uint32_t>(size));
        put(out, header, sizeof header);

        if (fast) {
            std::size_t got;
            do {
                got = in.read(buf.in.get(), kBlockSize);
                if (in.failed())
                    fail(kMsgRead, m_names.input, suffix);
                m_read += static_cast<std::int64_t>(got);
                const std::size_t length = m_lzr.CompressBlock(buf.in.get(), buf.out.get(), got);
                const std::uint8_t lengthBytes[2] = {static_cast<std::uint8_t>(length),
                                                     static_cast<std::uint8_t>(length >> 8)};
                put(out, lengthBytes, sizeof lengthBytes);
                put(out, buf.out.get(), length);
                tick();
            } while (got == kBlockSize);
        } else {
            const TLZH::ReadFn read = [&](std::uint8_t *dst, std::size_t n) {
                const std::size_t got = in.read(dst, n);
                if (in.failed())
                    fail(kMsgRead, m_names.input, suffix);
                m_read += static_cast<std::int64_t>(got);
                tick();
                return got;
            };
            const TLZH::WriteFn write = [&](const std::uint8_t *src, std::size_t n) {
                put(out, src, n);
            };
            m_lzh.Compress(read, write);
        }
        // The header promised `size` bytes; a file that changed while it was
        // read would give a container that can never be restored.
        if (m_read != size)
            fail(kMsgRead, m_names.input, suffix);
        return m_written;
    }

    std::int64_t decompress(Buffers &buf, Source &in, Sink &out)
    {
        std::uint8_t header[Tlzrw1::kHeaderSize];
        take(in, header, 4);
        const std::uint32_t id = getLe32(header);
        if (id != Tlzrw1::kIdLzrw1kh && id != Tlzrw1::kIdLzh)
            fail(m_names.input, kMsgNoHeader);
        take(in, header + 4, 4);
        const auto stored = static_cast<std::int32_t>(getLe32(header + 4));

        if (id == Tlzrw1::kIdLzh) {
            const TLZH::ReadFn read = [&](std::uint8_t *dst, std::size_t n) {
                const std::size_t got = in.read(dst, n);
                if (in.failed())
                    fail(kMsgRead, m_names.input);
                m_read += static_cast<std::int64_t>(got);
                return got;
            };
            const TLZH::WriteFn write = [&](const std::uint8_t *src, std::size_t n) {
                // The decoder may overshoot by the end of a match, and a
                // damaged stream by more; nothing past the promised size
                // is ever handed on.
                if (static_cast<std::int64_t>(n) > stored - m_restored)
                    fail(kMsgSizeLzh);
                put(out, src, n);
                m_restored += static_cast<std::int64_t>(n);
                tick();
            };
            if (m_lzh.Decompress(read, write, stored) != stored)
                fail(kMsgSizeLzh);
            return m_restored;
        }

        for (;;) {
            std::uint8_t lengthBytes[2];
            take(in, lengthBytes, 2);
            const std::size_t length = lengthBytes[0] | (std::size_t{lengthBytes[1]} << 8);
            // No block is longer than a copied full one; a longer length is
            // damage and reading it would overrun the buffer.
            if (length > kMaxBlockLength)
                fail(kMsgRead, m_names.input);
            take(in, buf.in.get(), length);
            const std::ptrdiff_t produced =
                TLZR::DecompressBlock(buf.in.get(), buf.out.get(), length, kBlockSize);
            if (produced == TLZR::kDamaged)
                fail(kMsgSizeLzrw1kh);
            // More than the header promised can only come from damage;
            // stop before writing any of it.
            if (produced > stored - m_restored)
                fail(kMsgSizeLzrw1kh);
            put(out, buf.out.get(), static_cast<std::size_t>(produced));
            m_restored += produced;
            tick();
            if (static_cast<std::size_t>(produced) != kBlockSize)
                break;
        }
        if (m_restored != stored)
            fail(kMsgSizeLzrw1kh);
        return m_restored;
    }

private:
    void put(Sink &out, const std::uint8_t *src, std::size_t n)
    {
        if (!out.write(src, n))
            fail(kMsgWrite, m_names.output);
        m_written += static_cast<std::int64_t>(n);
    }

    void take(Source &in, std::uint8_t *dst, std::size_t n)
    {
        if (in.read(dst, n) != n)
            fail(kMsgRead, m_names.input);
        m_read += static_cast<std::int64_t>(n);
    }

    void tick()
    {
        if (m_progress)
            m_progress(m_read, m_written);
    }

    TLZR &m_lzr;
    TLZH &m_lzh;
    const Tlzrw1::ProgressFn &m_progress;
    Names m_names;
    std::int64_t m_read = 0;
    std::int64_t m_written = 0;
    std::int64_t m_restored = 0;
};

// Two sample blocks, a third and two thirds into the data: "Fast" when
// LZRW1/KH brings them under `threshold` percent.
TCompressMode adviseFrom(TLZR &lzr, Source &in, std::int64_t size, int threshold,
                         std::string_view name)
{
    if (size < kSmallestFastCandidate)
        return TCompressMode::Good;
    Buffers buf;
    const auto block = static_cast<std::int64_t>(kBlockSize);
    std::int64_t sampled = 0;
    std::int64_t coded = 0;
    for (const std::int64_t at : {size / 3 / block * block, size * 2 / 3 / block * block}) {
        if (!in.seek(at))
            fail(kMsgRead, name, kSuffixLzrw1kh);
        const std::size_t got = in.read(buf.in.get(), kBlockSize);
        if (in.failed())
            fail(kMsgRead, name, kSuffixLzrw1kh);
        sampled += static_cast<std::int64_t>(got);
        coded += static_cast<std::int64_t>(lzr.CompressBlock(buf.in.get(), buf.out.get(), got));
    }
    return coded < sampled * threshold / 100 ? TCompressMode::Fast : TCompressMode::Good;
}

// The input's size, which the header stores as a signed 32-bit number;
// anything larger could not be restored, so it counts as unknown.
std::int64_t inputSize(const std::string &path)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > static_cast<std::uintmax_t>(INT32_MAX))
        fail(kMsgNoSize, path);
    return static_cast<std::int64_t>(size);
}

} // namespace

TCompressMode Tlzrw1::Advise()
{
    const std::int64_t size = inputSize(InputFile);
    if (size < kSmallestFastCandidate) {
        // Too small to sample: the component settles on "Good" for good.
        CompressMode = TCompressMode::Good;
        return TCompressMode::Good;
    }
    FileSource in(InputFile);
    if (!in.isOpen())
        fail(kMsgOpenInput, InputFile);
    return adviseFrom(m_lzr, in, size, Threshold, InputFile);
}

TCompressMode Tlzrw1::AdviseBytes(std::span<const std::uint8_t> data)
{
    if (data.size() > static_cast<std::size_t>(INT32_MAX))
        fail(kMsgNoSize);
    if (static_cast<std::int64_t>(data.size()) < kSmallestFastCandidate) {
        CompressMode = TCompressMode::Good;
        return TCompressMode::Good;
    }
    MemorySource in(data);
    return adviseFrom(m_lzr, in, static_cast<std::int64_t>(data.size()), Threshold, {});
}

std::int64_t Tlzrw1::Compress()
{
    const TCompressMode mode = CompressMode == TCompressMode::Auto ? Advise() : CompressMode;
    Buffers buf;
    const std::int64_t size = inputSize(InputFile);
    FileSource in(InputFile);
    if (!in.isOpen())
        fail(kMsgOpenInput, InputFile);
    FileSink out(OutputFile);
    if (!out.isOpen())
        fail(kMsgOpenOutput, OutputFile);
    Job job(m_lzr, m_lzh, OnProgress, {InputFile, OutputFile});
    const std::int64_t written = job.compress(buf, mode, size, in, out);
    if (!out.commit())
        fail(kMsgWrite, OutputFile);
    return written;
}

std::int64_t Tlzrw1::Decompress()
{
    Buffers buf;
    FileSource in(InputFile);
    if (!in.isOpen())
        fail(kMsgOpenInput, InputFile);
    FileSink out(OutputFile);
    if (!out.isOpen())
        fail(kMsgOpenOutput, OutputFile);
    Job job(m_lzr, m_lzh, OnProgress, {InputFile, OutputFile});
    const std::int64_t restored = job.decompress(buf, in, out);
    if (!out.commit())
        fail(kMsgWrite, OutputFile);
    return restored;
}

std::optional<std::int64_t> Tlzrw1::StoredSize(std::span<const std::uint8_t> container)
{
    if (container.size() < kHeaderSize)
        return std::nullopt;
    const std::uint32_t id = getLe32(container.data());
    if (id != kIdLzrw1kh && id != kIdLzh)
        return std::nullopt;
    return static_cast<std::int32_t>(getLe32(container.data() + 4));
}

std::vector<std::uint8_t> Tlzrw1::CompressBytes(std::span<const std::uint8_t> data,
                                                std::string_view inputName,
                                                std::string_view outputName)
{
    if (data.size() > static_cast<std::size_t>(INT32_MAX))
        fail(kMsgNoSize, inputName);
    const TCompressMode mode =
        CompressMode == TCompressMode::Auto ? AdviseBytes(data) : CompressMode;
    Buffers buf;
    MemorySource in(data);
    MemorySink out;
    Job job(m_lzr, m_lzh, OnProgress, {inputName, outputName});
    job.compress(buf, mode, static_cast<std::int64_t>(data.size()), in, out);
    return std::move(out.bytes);
}

std::vector<std::uint8_t> Tlzrw1::DecompressBytes(std::span<const std::uint8_t> container,
                                                  std::string_view inputName,
                                                  std::string_view outputName)
{
    Buffers buf;
    MemorySource in(container);
    MemorySink out;
    Job job(m_lzr, m_lzh, OnProgress, {inputName, outputName});
    job.decompress(buf, in, out);
    return std::move(out.bytes);
}
