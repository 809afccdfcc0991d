#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// What the program could not tell the player before it ended (a quit
// request closes every box unread): kept in a small text file beside the
// settings, shown and removed at the next start.
namespace exitnote {

// pegsquare.note in `folder` for the program name "pegsquare".
std::filesystem::path pathFor(const std::filesystem::path &folder, const std::string &programname);

// Adds `message` as a paragraph of its own, replacing the file all or
// nothing. The file never grows past a few kilobytes: a message that would
// take it further is left out. Never throws; false when nothing was kept.
bool append(const std::filesystem::path &path, std::string_view message);

// The text kept, and the file removed; empty when there is none. Reads at
// most the size append writes, so a file grown by anything else is
// removed unread. Never throws.
std::string take(const std::filesystem::path &path);

} // namespace exitnote
