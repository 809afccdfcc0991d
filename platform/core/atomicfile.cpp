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

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

std::atomic<unsigned> TempFile::s_counter{0};

fs::path TempFile::candidateName(const fs::path &target, unsigned number)
{
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    return folder / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-"
                     + std::to_string(number));
}

fs::path TempFile::nextName(const fs::path &target)
{
    return candidateName(target, s_counter.load());
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
    m_fd.reset(-1);
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

FileWriteError::FileWriteError(const fs::path &path)
    : std::runtime_error("Unable to write to " + path.string())
{
}

bool replaceFile(const fs::path &target, std::string_view data, std::optional<mode_t> mode)
{
    TempFile temp(target);
    if (!temp.isOpen())
        return false;
    if (!writeAll(temp.fd(), data))
        return false;
    if (mode && ::fchmod(temp.fd(), *mode) != 0)
        return false;
    // Flushed before the rename, so a crash right after it cannot leave an
    // empty file under the old name.
    if (::fsync(temp.fd()) != 0)
        return false;
    if (!temp.close())
        return false;
    return temp.renameTo(target);
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

void writeFileAtomically(const fs::path &path, std::string_view bytes)
{
    const fs::path target = resolveTarget(path);
    std::optional<mode_t> mode;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        mode = info.st_mode & 07777;
    if (!replaceFile(target, bytes, mode))
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
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return false;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace platform
