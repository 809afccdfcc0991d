#include "connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr std::size_t kMostDrainedBytes = 256 * 1024;
constexpr std::chrono::milliseconds kDrainTime{1000};

int pollTimeout(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 24 * 3600 * 1000));
}

// Polls one descriptor for `events`; true when ready before the deadline.
bool pollUntil(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, pollTimeout(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// Never blocks: the socket stays blocking for httplib's sake, so every call
// here passes MSG_DONTWAIT, and waiting is done only by bounded polls. A
// blocking send could otherwise sit forever on a client that stopped reading.
ssize_t receiveNow(int fd, char *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, size, MSG_DONTWAIT);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

void addressText(const sockaddr_storage &address, std::string &ip, int &port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

} // namespace

ConnectionStream::ConnectionStream(int fd, int stopFd, std::chrono::milliseconds readTimeout,
                                   std::chrono::milliseconds writeTimeout)
    : m_fd(fd), m_stopFd(stopFd), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout)
{
}

ConnectionStream::Wait ConnectionStream::awaitHead(std::chrono::milliseconds idle, std::chrono::milliseconds headTime,
                                                   const HeadLimits &limits, HeadScan &scan)
{
    m_in.erase(0, m_taken);
    m_taken = 0;
    const Clock::time_point idleDeadline = Clock::now() + idle;
    Clock::time_point headDeadline{};
    bool started = false;
    for (;;) {
        if (!m_in.empty()) {
            if (!started) {
                started = true;
                headDeadline = Clock::now() + headTime;
            }
            scan = scanRequestHead(m_in, limits);
            if (scan.state != HeadState::Incomplete) {
                if (scan.state == HeadState::Complete) {
                    if (auto mended = mendRequestHead(std::string_view(m_in).substr(0, scan.length))) {
                        m_in.replace(0, scan.length, *mended);
                        scan.length = mended->size();
                    }
                }
                return Wait::Ready;
            }
        }
        // Between requests a stop ends the wait; once a head has begun, the
        // client gets the rest of the head time to finish it.
        const Wait waited = started ? waitReadable(headDeadline, false) : waitReadable(idleDeadline, true);
        if (waited != Wait::Ready)
            return waited;
        char chunk[kReadChunk];
        const ssize_t got = receiveNow(m_fd, chunk, sizeof chunk);
        if (got < 0 && wouldBlock())
            continue;
        if (got <= 0)
            return Wait::Closed;
        m_in.append(chunk, static_cast<std::size_t>(got));
    }
}

ConnectionStream::Wait ConnectionStream::waitReadable(Clock::time_point deadline, bool watchStop) const
{
    for (;;) {
        pollfd entries[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        const int ready = ::poll(entries, watchStop ? 2 : 1, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::Closed;
        if (entries[0].revents != 0)
            return Wait::Ready;
        if (ready > 0)
            return Wait::Stopping;
        return Wait::TimedOut;
    }
}

bool ConnectionStream::hasUnreadInput() const
{
    if (m_taken < m_in.size())
        return true;
    int pending = 0;
    return ::ioctl(m_fd, FIONREAD, &pending) == 0 && pending > 0;
}

bool ConnectionStream::writeAll(std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = write(data.data(), data.size());
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void ConnectionStream::drainBeforeClose()
{
    ::shutdown(m_fd, SHUT_WR);
    const auto deadline = Clock::now() + kDrainTime;
    std::size_t drained = 0;
    char chunk[kReadChunk];
    while (drained < kMostDrainedBytes && waitReadable(deadline, false) == Wait::Ready) {
        const ssize_t got = receiveNow(m_fd, chunk, sizeof chunk);
        if (got < 0 && wouldBlock())
            continue;
        if (got <= 0)
            break;
        drained += static_cast<std::size_t>(got);
    }
}

bool ConnectionStream::is_readable() const
{
    return m_taken < m_in.size() || pollUntil(m_fd, POLLIN, Clock::now() + m_readTimeout);
}

bool ConnectionStream::is_writable() const
{
    return pollUntil(m_fd, POLLOUT, Clock::now() + m_writeTimeout);
}

ssize_t ConnectionStream::read(char *ptr, size_t size)
{
    if (m_taken < m_in.size()) {
        const std::size_t count = std::min(size, m_in.size() - m_taken);
        std::memcpy(ptr, m_in.data() + m_taken, count);
        m_taken += count;
        return static_cast<ssize_t>(count);
    }
    // Take what is there without a poll first; wait only when nothing is.
    const auto deadline = Clock::now() + m_readTimeout;
    for (;;) {
        const ssize_t got = receiveNow(m_fd, ptr, size);
        if (got >= 0 || !wouldBlock())
            return got;
        if (!pollUntil(m_fd, POLLIN, deadline))
            return -1;
    }
}

ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    // A short count is fine: httplib writes the rest in the next call, and
    // each call may wait up to the write time-out for room.
    const auto deadline = Clock::now() + m_writeTimeout;
    for (;;) {
        // MSG_NOSIGNAL: a client that went away is an error here, not a SIGPIPE.
        const ssize_t sent = ::send(m_fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if (!wouldBlock() || !pollUntil(m_fd, POLLOUT, deadline))
            return -1;
    }
}

// Both ends are asked for once per connection, not once per request.
void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    if (m_remotePort < 0) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            addressText(address, m_remoteIp, m_remotePort);
    }
    ip = m_remoteIp;
    port = m_remotePort;
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    if (m_localPort < 0) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            addressText(address, m_localIp, m_localPort);
    }
    ip = m_localIp;
    port = m_localPort;
}
