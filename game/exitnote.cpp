#include "exitnote.h"

#include "atomicfile.h"

#include <system_error>

namespace exitnote {

namespace {
// A handful of messages; a note is read in one look, not scrolled.
constexpr std::uintmax_t kMaxBytes = 8 * 1024;
constexpr std::string_view kSeparator = "\n\n";
} // namespace

std::filesystem::path pathFor(const std::filesystem::path &folder, const std::string &programname)
{
    return folder / (programname + ".note");
}

bool append(const std::filesystem::path &path, std::string_view message)
{
    std::string text;
    std::error_code error;
    if (std::filesystem::exists(path, error) && !platform::readWholeFile(path, text, kMaxBytes))
        text.clear();
    if (!text.empty())
        text += kSeparator;
    if (text.size() + message.size() > kMaxBytes)
        return false;
    text += message;
    try {
        platform::writeFileAtomically(path, text);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

std::string take(const std::filesystem::path &path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::string text;
    if (!platform::readWholeFile(path, text, kMaxBytes))
        text.clear();
    std::filesystem::remove(path, error);
    return text;
}

} // namespace exitnote
