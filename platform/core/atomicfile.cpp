#include "atomicfile.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr int kTempNameAttempts = 100;

fs::path folderOf(const fs::path &target)
{
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

// Makes a rename in `folder` last. Best effort: some file systems cannot
// flush a folder, and by now the file has been replaced, so a failure here
// must not be reported as a target left as it was.
void syncFolder(const fs::path &folder)
{
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isOpen())
        (void)::fsync(dir.get());
}

} // namespace

std::atomic<unsigned> TempFile::s_counter{0};

fs::path TempFile::candidateName(const fs::path &target, unsigned number)
{
    return folderOf(target) / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-"
                               + std::to_string(number));
}

fs::path TempFile::nextName(const fs::path &target)
{
    return candidateName(target, s_counter.load());
}

std::vector<fs::path> TempFile::nextFreeNames(const fs::path &target, std::size_t count)
{
    // The same walk the constructor makes: from the counter on, skipping
    // every name that exists, for as many attempts as it makes.
    std::vector<fs::path> names;
    const unsigned first = s_counter.load();
    for (int attempt = 0; attempt < kTempNameAttempts && names.size() < count; ++attempt) {
        fs::path candidate = candidateName(target, first + static_cast<unsigned>(attempt));
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            names.push_back(std::move(candidate));
    }
    return names;
}

TempFile::TempFile(const fs::path &target, mode_t mode)
{
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const fs::path candidate = candidateName(target, s_counter.fetch_add(1));
        // O_EXCL refuses any name that exists, a link included, and
        // O_NOFOLLOW says so twice: the write never lands elsewhere.
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_fd.reset(fd);
            m_path = candidate;
            return;
        }
        if (errno != EEXIST)
            return;
    }
}

TempFile::~TempFile()
{
    m_fd.reset();
    if (!m_path.empty() && !m_committed)
        ::unlink(m_path.c_str());
}

bool TempFile::renameTo(const fs::path &target)
{
    if (::rename(m_path.c_str(), target.c_str()) != 0)
        return false;
    m_committed = true;
    return true;
}

AtomicFile::AtomicFile(const fs::path &target, std::optional<mode_t> mode)
    : m_target(target), m_temp(target)
{
    // Not open, so nobody writes to a file that would get the wrong mode;
    // the TempFile still removes it.
    if (m_temp.isOpen() && mode && ::fchmod(m_temp.fd(), *mode) != 0)
        m_temp.close();
}

bool AtomicFile::write(std::string_view bytes)
{
    return m_temp.isOpen() && writeAll(m_temp.fd(), bytes);
}

bool AtomicFile::commit()
{
    if (!m_temp.isOpen())
        return false;
    // Flushed before the rename, so a crash right after it cannot leave an
    // empty file under the old name.
    if (::fsync(m_temp.fd()) != 0)
        return false;
    if (!m_temp.close())
        return false;
    if (!m_temp.renameTo(m_target))
        return false;
    syncFolder(folderOf(m_target));
    return true;
}

FileWriteError::FileWriteError(const fs::path &path)
    : std::runtime_error("Unable to write to " + path.string())
{
}

bool replaceFile(const fs::path &target, std::string_view data, std::optional<mode_t> mode)
{
    AtomicFile file(target, mode);
    return file.isOpen() && file.write(data) && file.commit();
}

fs::path resolveTarget(const fs::path &path)
{
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::canonical(path, ec);
        if (!ec)
            return resolved;
    }
    return path;
}

std::optional<fs::path> replaceableTarget(const fs::path &path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status))
        return std::nullopt;
    return resolveTarget(path);
}

std::optional<mode_t> regularFileMode(const fs::path &target)
{
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return std::nullopt;
}

void writeFileAtomically(const fs::path &path, std::string_view bytes)
{
    const fs::path target = resolveTarget(path);
    if (!replaceFile(target, bytes, regularFileMode(target)))
        throw FileWriteError(path);
}

bool readWholeFile(const fs::path &path, std::string &bytes, std::uintmax_t maxBytes)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.isOpen())
        return false;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = readSome(fd.get(), buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return false;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace platform
