#pragma once

#include <atomic>
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

// A file created beside `target` under a name nobody else uses
// (".NAME.tmp-PID-N"), open for reading and writing; removed again unless
// it was renamed into place. It is always a new file: a name that exists,
// a symbolic link included, is skipped, never opened.
class TempFile {
public:
    // `mode` is given to the new file; 0666 lets the umask decide, as for
    // any newly created file.
    explicit TempFile(const std::filesystem::path &target, mode_t mode = 0666);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    bool isOpen() const { return m_fd.isOpen(); }
    int fd() const { return m_fd.get(); }
    const std::filesystem::path &path() const { return m_path; }
    bool close() { return m_fd.close(); }
    // Renames the file to `target`, replacing whatever has that name (a
    // link there is replaced, not followed). False when it cannot.
    bool renameTo(const std::filesystem::path &target);

    // The name the next TempFile for `target` tries first.
    static std::filesystem::path nextName(const std::filesystem::path &target);

private:
    static std::filesystem::path candidateName(const std::filesystem::path &target, unsigned number);
    static std::atomic<unsigned> s_counter;

    UniqueFd m_fd;
    std::filesystem::path m_path;
    bool m_committed = false;
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
