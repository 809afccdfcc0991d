#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <sys/types.h>
#include <unistd.h>

// Replacing files all or nothing, the way every file of the program is
// saved: the new contents go to a fresh file beside the old one, are
// flushed, and only then renamed over it.
namespace platform {

// A file that could not be written; what() is "Unable to write to " and
// the path.
class FileWriteError : public std::runtime_error {
public:
    explicit FileWriteError(const std::filesystem::path &path);
};

// Owns a POSIX file descriptor and closes it on every path.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

    // Closes now and reports whether the close succeeded: on some file
    // systems a failed write only shows here.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Replaces `target` with `data`. The temporary file is created in the same
// folder under a name nobody else uses and is removed unless it was renamed
// into place. `mode`, when given, becomes the new file's mode (pass the old
// file's so a save does not change it). False on any failure, in which case
// `target` is exactly as it was.
bool replaceFile(const std::filesystem::path &target, std::string_view data, std::optional<mode_t> mode);

// Where a save must go: the file a symbolic link points to, so that the
// link itself survives; otherwise `path` itself.
std::filesystem::path resolveTarget(const std::filesystem::path &path);

// replaceFile for a whole file, keeping an existing file's mode and a
// symbolic link. Throws FileWriteError on failure.
void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

// Reads a whole file. False when it cannot be opened or read, or is larger
// than `maxBytes`.
bool readWholeFile(const std::filesystem::path &path, std::string &bytes, std::uintmax_t maxBytes);

} // namespace platform
