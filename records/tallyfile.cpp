#include "tallyfile.h"

#include "atomicfile.h"
#include "lzrw1.h"
#include "tallygrid.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace tallyfile {

namespace {
// A tally container is a few hundred bytes; anything near this size was
// not written by the game.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;
// The grid text of a tally is a few hundred bytes too, however long the
// names. A container announcing more is damaged or hostile, and restoring
// it first would let a small file fill the memory.
constexpr std::int64_t kMaxTextBytes = 64 * 1024;

// Damaged tallies kept side by side before the game gives up keeping more.
constexpr int kMaxAsideNames = 100;

// rename() that fails with EEXIST instead of replacing `to`. Where the file
// system cannot promise that in one step, a hard link and an unlink do.
bool renameWithoutReplacing(const std::filesystem::path &from, const std::filesystem::path &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

std::span<const std::uint8_t> asBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()};
}
} // namespace

std::filesystem::path pathFor(const std::filesystem::path &folder, const std::string &programname)
{
    return folder / (programname + "tally.tld");
}

void load(const std::filesystem::path &path, TallyGrid &grid)
{
    std::string container;
    if (!platform::readWholeFile(path, container, kMaxFileBytes))
        throw ELzrw1Exception("Lzrw1 (de)compression : Failed to open input file : " + path.string());
    if (const auto announced = Tlzrw1::StoredSize(asBytes(container)); announced && *announced > kMaxTextBytes)
        throw ELzrw1Exception("The tally file " + path.string() + " is damaged: it claims to hold "
                              + std::to_string(*announced) + " bytes, far more than any tally.");
    Tlzrw1 doit;
    doit.CompressMode = TCompressMode::Fast;
    const std::vector<std::uint8_t> text = doit.DecompressBytes(asBytes(container), path.string());
    grid.fromText(std::string_view(reinterpret_cast<const char *>(text.data()), text.size()));
}

void save(const std::filesystem::path &path, const TallyGrid &grid)
{
    Tlzrw1 doit;
    doit.CompressMode = TCompressMode::Fast;
    const std::string text = grid.toText();
    // Never store what the next start would refuse: the old file stays,
    // and the failure is the caller's to report.
    if (static_cast<std::int64_t>(text.size()) > kMaxTextBytes)
        throw std::length_error("The tally holds " + std::to_string(text.size())
                                + " bytes of text, more than a tally file may hold.");
    const std::vector<std::uint8_t> container = doit.CompressBytes(asBytes(text), {}, path.string());
    platform::writeFileAtomically(
        path, std::string_view(reinterpret_cast<const char *>(container.data()), container.size()));
}

std::filesystem::path setAside(const std::filesystem::path &path)
{
    for (int number = 1; number <= kMaxAsideNames; ++number) {
        std::filesystem::path aside = path;
        aside += number == 1 ? std::string(".damaged") : ".damaged." + std::to_string(number);
        if (renameWithoutReplacing(path, aside))
            return aside;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

} // namespace tallyfile
