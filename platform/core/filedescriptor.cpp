#include "filedescriptor.h"

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace platform {

void UniqueFd::reset(int fd) noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool UniqueFd::close() noexcept
{
    const int fd = std::exchange(m_fd, -1);
    return fd < 0 || ::close(fd) == 0;
}

ssize_t readSome(int fd, void *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        // A write that takes nothing from a non-empty buffer would loop
        // for ever; no descriptor we write should do it, so it is failure.
        if (n == 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace platform
