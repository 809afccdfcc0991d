#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A file that could not be written; what() names it.
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces the file at `path` with `bytes`, all or nothing: the bytes go
// to a new file beside it, are flushed, and only then renamed over the old
// one. On any failure the old file is untouched, the partial new file is
// removed, and FileWriteError("Unable to write to " + path) is thrown.
void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

// Reads a whole file. Returns false when it cannot be opened or read, or
// is larger than `maxBytes`.
bool readWholeFile(const std::filesystem::path &path, std::string &bytes, std::uintmax_t maxBytes);

} // namespace platform
