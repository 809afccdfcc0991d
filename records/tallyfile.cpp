#include "tallyfile.h"

#include "atomicfile.h"
#include "lzrw1.h"
#include "tallygrid.h"

#include <stdexcept>
#include <system_error>

namespace tallyfile {

namespace {
// A tally container is a few hundred bytes; anything near this size was
// not written by the game.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;
// The grid text of a tally is a few hundred bytes too, however long the
// names. A container announcing more is damaged or hostile, and restoring
// it first would let a small file fill the memory.
constexpr std::int64_t kMaxTextBytes = 64 * 1024;

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
    std::filesystem::path aside = path;
    aside += ".damaged";
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    return error ? std::filesystem::path() : aside;
}

} // namespace tallyfile
