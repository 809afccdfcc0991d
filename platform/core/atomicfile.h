#pragma once

#include "filedescriptor.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

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

    // The names, in order, that the next TempFiles for `target` will take
    // unless something else takes them first: the first `count` that are
    // free now. For a signal handler that must remove a temporary file
    // without asking which one was created; changes nothing.
    static std::vector<std::filesystem::path> nextFreeNames(const std::filesystem::path &target,
                                                            std::size_t count);

private:
    static std::filesystem::path candidateName(const std::filesystem::path &target, unsigned number);
    static std::atomic<unsigned> s_counter;

    UniqueFd m_fd;
    std::filesystem::path m_path;
    bool m_committed = false;
};

// A file replaced all or nothing, written piece by piece: the bytes go to a
// TempFile beside `target`; commit() flushes them to the disk, renames the
// file over `target` and flushes the folder, so that after a crash the
// target holds either its former or its new contents. Until commit()
// succeeds `target` is untouched; an object that goes without committing
// (a failure, an exception) removes its temporary file.
class AtomicFile {
public:
    // Begins replacing `target` itself (a link there is replaced, not
    // followed). `mode`, when given, becomes the new file's mode; otherwise
    // the umask decides. Check isOpen() before writing.
    AtomicFile(const std::filesystem::path &target, std::optional<mode_t> mode);
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // False when the temporary file could not be created or given its mode.
    bool isOpen() const { return m_temp.isOpen(); }

    // Appends `bytes` to the new contents. False on failure.
    bool write(std::string_view bytes);

    // Puts the new contents in place. False when `target` could not be
    // replaced, in which case it is exactly as it was. Call it once.
    bool commit();

private:
    std::filesystem::path m_target;
    TempFile m_temp;
};

// Replaces `target` with `data` through an AtomicFile. `mode`, when given,
// becomes the new file's mode (pass the old file's so a save does not
// change it). False on any failure, in which case `target` is exactly as
// it was.
bool replaceFile(const std::filesystem::path &target, std::string_view data, std::optional<mode_t> mode);

// Where a save must go: the file a symbolic link points to, so that the
// link itself survives; otherwise `path` itself.
std::filesystem::path resolveTarget(const std::filesystem::path &path);

// Where a save to `path` can replace a file through a temporary one beside
// it: resolveTarget(path). Nothing when `path` names something that exists
// and is not a regular file (a terminal, a pipe, a device, a folder): that
// cannot be replaced, only written in place.
std::optional<std::filesystem::path> replaceableTarget(const std::filesystem::path &path);

// The permission bits of the regular file at `target`, or nothing when
// there is none: the mode a save over it keeps.
std::optional<mode_t> regularFileMode(const std::filesystem::path &target);

// replaceFile for a whole file, keeping an existing file's mode and a
// symbolic link. Throws FileWriteError on failure.
void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

// Reads a whole file. False when it cannot be opened or read, or is larger
// than `maxBytes`.
bool readWholeFile(const std::filesystem::path &path, std::string &bytes, std::uintmax_t maxBytes);

} // namespace platform
