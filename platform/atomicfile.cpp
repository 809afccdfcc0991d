#include "atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace platform {

namespace {

// Owns a POSIX descriptor; closes it on every path.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    bool close()
    {
        if (m_fd < 0)
            return true;
        const bool ok = ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string temporarySuffix()
{
    std::random_device device;
    return ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(device() % 1000000);
}

} // namespace

void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes)
{
    const std::string message = "Unable to write to " + path.string();
    std::filesystem::path temporary = path;
    temporary += temporarySuffix();

    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        throw FileWriteError(message);
    const bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    const bool closed = fd.close();
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw FileWriteError(message);
    }
}

bool readWholeFile(const std::filesystem::path &path, std::string &bytes, std::uintmax_t maxBytes)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
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
