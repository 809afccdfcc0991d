#include "tallyfile.h"

#include "atomicfile.h"
#include "lzrw1.h"
#include "tallygrid.h"

#include <system_error>

namespace tallyfile {

namespace {
// A tally container is a few hundred bytes; anything near this size was
// not written by the game.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

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
