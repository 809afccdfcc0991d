#pragma once

#include <cstddef>
#include <string_view>

#include <sys/types.h>

// The one owner of POSIX file descriptors in the Qt-free code, and the
// read and write calls every descriptor we read or write goes through.
namespace platform {

// Owns a POSIX file descriptor (-1: none) and closes it on every path,
// exactly once.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    // Closes the descriptor held, if any, and holds `fd` instead.
    void reset(int fd = -1) noexcept;

    // Closes now and reports whether the close succeeded: on some file
    // systems a failed write only shows here. Holding nothing is success.
    bool close() noexcept;

private:
    int m_fd;
};

// read(2), resumed when a signal interrupts it: the number of bytes read
// into `buffer` (0 at the end of the data), or -1 on failure.
ssize_t readSome(int fd, void *buffer, std::size_t size);

// Writes all of `bytes` to `fd`, going on after short writes and
// interruptions. False when a write fails or takes nothing, with an unknown
// part written.
bool writeAll(int fd, std::string_view bytes);

} // namespace platform
