#pragma once

#include <string_view>

// The one owner of POSIX file descriptors in the Qt-free code, and the
// write loop every descriptor we write through uses.
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

// Writes all of `bytes` to `fd`, going on after short writes and
// interruptions. False when a write fails or takes nothing, with an unknown
// part written.
bool writeAll(int fd, std::string_view bytes);

} // namespace platform
