#include "connection.h"

#include "clientaddress.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Answer bytes held for the loop to send, at most: every page and small
// file fits, so only a large download keeps its worker waiting on the client.
constexpr std::size_t kMostHeldOutput = 256 * 1024;

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

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

// One send that never blocks and never raises SIGPIPE; -1 with errno set otherwise.
ssize_t sendNow(int fd, const char *data, std::size_t size)
{
    for (;;) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0 || errno != EINTR)
            return sent;
    }
}

} // namespace

ConnectionStream::ConnectionStream(ClientConnection &connection, std::chrono::milliseconds readTimeout,
                                   std::chrono::milliseconds writeTimeout)
    : m_connection(connection), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout)
{
}

bool ConnectionStream::keepUnread()
{
    m_connection.input.erase(0, m_taken);
    m_taken = 0;
    if (!m_connection.input.empty())
        return true;
    int pending = 0;
    return ::ioctl(m_connection.fd.get(), FIONREAD, &pending) == 0 && pending > 0;
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

bool ConnectionStream::is_readable() const
{
    return m_taken < m_connection.input.size() || pollUntil(m_connection.fd.get(), POLLIN, Clock::now() + m_readTimeout);
}

bool ConnectionStream::is_writable() const
{
    return m_connection.output.size() < kMostHeldOutput
        || pollUntil(m_connection.fd.get(), POLLOUT, Clock::now() + m_writeTimeout);
}

ssize_t ConnectionStream::read(char *ptr, size_t size)
{
    const std::string &input = m_connection.input;
    if (m_taken < input.size()) {
        const std::size_t count = std::min(size, input.size() - m_taken);
        std::memcpy(ptr, input.data() + m_taken, count);
        m_taken += count;
        return static_cast<ssize_t>(count);
    }
    // Heads come whole from the loop and bodies are never read, so this is
    // reached only by a client that lied; it still waits no longer than a read may.
    const auto deadline = Clock::now() + m_readTimeout;
    for (;;) {
        const ssize_t got = ::recv(m_connection.fd.get(), ptr, size, MSG_DONTWAIT);
        if (got >= 0 || (errno != EINTR && !wouldBlock()))
            return got;
        if (errno != EINTR && !pollUntil(m_connection.fd.get(), POLLIN, deadline))
            return -1;
    }
}

bool ConnectionStream::flushHeld()
{
    std::string &held = m_connection.output;
    const auto deadline = Clock::now() + m_writeTimeout;
    std::size_t done = 0;
    while (done < held.size()) {
        const ssize_t sent = sendNow(m_connection.fd.get(), held.data() + done, held.size() - done);
        if (sent >= 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        if (!wouldBlock() || !pollUntil(m_connection.fd.get(), POLLOUT, deadline))
            return false;
    }
    held.clear();
    return true;
}

ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    std::string &held = m_connection.output;
    // Bytes go out in order: while any are held, new ones queue behind them.
    if (held.empty()) {
        const ssize_t sent = sendNow(m_connection.fd.get(), ptr, size);
        if (sent > 0 || (sent < 0 && !wouldBlock()))
            return sent;
    }
    if (held.size() + size <= kMostHeldOutput) {
        held.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    if (!flushHeld())
        return -1;
    // A short count is fine: httplib writes the rest in the next call.
    const auto deadline = Clock::now() + m_writeTimeout;
    for (;;) {
        const ssize_t sent = sendNow(m_connection.fd.get(), ptr, size);
        if (sent >= 0)
            return sent;
        if (!wouldBlock() || !pollUntil(m_connection.fd.get(), POLLOUT, deadline))
            return -1;
    }
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    ip = m_connection.peer;
    port = m_connection.peerPort;
}

// Asked for at most once per request.
void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    if (!m_local)
        m_local = localEnd(m_connection.fd.get());
    ip = m_local->address;
    port = m_local->port;
}
