#include "connectionloop.h"

#include "proxyheader.h"

#include "clientaddress.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr int kEventsPerWait = 256;
// When the process runs out of descriptors, accepting rests this long
// rather than spinning on a listener that stays readable.
constexpr std::chrono::milliseconds kAcceptRest{100};
// A connection closed after a refusal or an unread body: the client is
// given this long to stop sending, so the close does not reset the
// connection before it has read the answer.
constexpr std::chrono::milliseconds kDrainTime{1000};
constexpr std::size_t kMostDrainedBytes = 256 * 1024;
constexpr std::chrono::milliseconds kStopGrace{1000};
// The loop wakes at least this often, to take back connections workers
// re-armed themselves and give them their idle deadline.
constexpr std::chrono::milliseconds kLongestWait{250};

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

ConnectionLoop::ConnectionLoop(int listener, ConnectionBounds bounds, ConnectionEvents events)
    : m_listener(listener), m_bounds(std::move(bounds)), m_events(std::move(events)),
      m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_epoll.valid() || !m_wake.valid())
        throw std::system_error(errno, std::generic_category(), "cannot set up waiting on connections");
    const int flags = ::fcntl(m_listener, F_GETFL);
    ::fcntl(m_listener, F_SETFL, flags | O_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_wake.get();
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, m_wake.get(), &wake);
}

ConnectionLoop::~ConnectionLoop() = default;

void ConnectionLoop::requestStop()
{
    m_stopRequested = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

void ConnectionLoop::giveBack(std::unique_ptr<ClientConnection> connection)
{
    // The usual case, a kept-alive connection with its answer sent and no
    // more input: the worker arms it for the next request itself, and the
    // loop is not woken for it. It is listed first, so the loop has taken it
    // back by the time that request wakes it.
    const bool quiet = connection->next == ClientConnection::Next::ReadHead && connection->output.empty()
        && connection->input.empty() && !m_stopRequested;
    const int fd = connection->fd.get();
    connection->rearmed = quiet;
    {
        const std::lock_guard lock(m_handedMutex);
        m_handedBack.push_back(std::move(connection));
    }
    if (quiet) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLONESHOT;
        event.data.fd = fd;
        if (::epoll_ctl(m_epoll.get(), EPOLL_CTL_MOD, fd, &event) == 0)
            return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

bool ConnectionLoop::run()
{
    bool listenerWatched = false;
    const auto watchListener = [&](bool on) {
        if (on == listenerWatched)
            return;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_listener;
        ::epoll_ctl(m_epoll.get(), on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, m_listener, &event);
        listenerWatched = on;
    };
    if (m_stopRequested)
        beginStop();
    epoll_event events[kEventsPerWait];
    for (;;) {
        const Clock::time_point now = Clock::now();
        watchListener(m_accepting && now >= m_acceptPausedUntil);
        if (!m_accepting && m_entries.empty())
            return true;
        Clock::time_point wakeAt = Clock::time_point::max();
        if (!m_deadlines.empty())
            wakeAt = m_deadlines.begin()->first;
        if (m_accepting && !listenerWatched)
            wakeAt = std::min(wakeAt, m_acceptPausedUntil);
        int timeout = static_cast<int>(kLongestWait.count());
        if (wakeAt != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, kLongestWait.count()));
        }
        const int ready = ::epoll_wait(m_epoll.get(), events, kEventsPerWait, timeout);
        if (ready < 0 && errno != EINTR)
            return false;
        // Connections a worker re-armed itself wake this loop only by their
        // next request, so they are taken back before any event is read.
        takeBack();
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wake.get()) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_wake.get(), &count, sizeof count);
                if (m_stopRequested && m_accepting) {
                    watchListener(false);
                    beginStop();
                }
                takeBack();
            } else if (fd == m_listener) {
                if (m_accepting)
                    acceptAll();
            } else if (const auto found = m_entries.find(fd); found != m_entries.end()) {
                // An event may be for a descriptor closed and reused earlier
                // in this same batch; every handler takes a read or write
                // that would block as nothing to do.
                Entry &entry = found->second;
                entry.armed = false; // one event per arming
                switch (entry.state) {
                case State::Reading: onReadable(fd, entry); break;
                case State::Writing: onWritable(fd, entry); break;
                case State::Draining: onDrainable(fd, entry); break;
                case State::InWorker: break;
                }
                rearm(fd);
            }
        }
        expire();
    }
}

void ConnectionLoop::beginStop()
{
    m_accepting = false;
    if (m_events.stopAccepting)
        m_events.stopAccepting();
    // Idle connections end now. One whose head has begun may still finish
    // it, but only for a short grace: the game sends its head in one go,
    // so a head still coming in at a stop is almost always a slow client's,
    // and a stop must not wait out every one of them.
    std::vector<int> idle;
    const Clock::time_point graceEnd = Clock::now() + kStopGrace;
    for (auto &[fd, entry] : m_entries) {
        if (entry.state != State::Reading)
            continue;
        if (entry.connection->input.empty())
            idle.push_back(fd);
        else if (entry.deadline > graceEnd)
            setDeadline(fd, entry, graceEnd);
    }
    for (const int fd : idle)
        close(fd);
}

void ConnectionLoop::acceptAll()
{
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int accepted =
            ::accept4(m_listener, reinterpret_cast<sockaddr *>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                m_acceptPausedUntil = Clock::now() + kAcceptRest;
            return; // EAGAIN: all taken
        }
        UniqueFd fd(accepted);
        SocketEnd end = socketEnd(address);
        std::string peer = end.address;
        const bool unbounded = std::find(m_bounds.unboundedAddresses.begin(), m_bounds.unboundedAddresses.end(),
                                         peer) != m_bounds.unboundedAddresses.end();
        if (m_entries.size() >= m_bounds.maxConnections) {
            refuse(std::move(fd), peer, 503);
            continue;
        }
        std::size_t &fromPeer = m_perAddress[peer];
        if (!unbounded && fromPeer >= m_bounds.maxConnectionsPerAddress) {
            if (fromPeer == 0)
                m_perAddress.erase(peer);
            refuse(std::move(fd), peer, 429);
            continue;
        }
        ++fromPeer;
        const int noDelay = 1;
        ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        Entry entry;
        entry.peer = peer;
        entry.proxyLineAllowed = unbounded;
        entry.connection = std::make_unique<ClientConnection>();
        entry.connection->fd = std::move(fd);
        entry.connection->peer = std::move(peer);
        entry.connection->peerPort = end.port;
        Entry &placed = m_entries.emplace(accepted, std::move(entry)).first->second;
        if (m_events.opened)
            m_events.opened();
        startReading(accepted, placed, true);
    }
}

void ConnectionLoop::refuse(UniqueFd fd, const std::string &peer, int status)
{
    // What the client has sent already is read and dropped, so the close
    // after the answer is an orderly one; what it sends later is not waited for.
    char dropped[4096];
    [[maybe_unused]] const ssize_t got = ::recv(fd.get(), dropped, sizeof dropped, MSG_DONTWAIT);
    const std::string answer = m_events.refused ? m_events.refused(peer, status) : std::string();
    [[maybe_unused]] const ssize_t sent = ::send(fd.get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd.get(), SHUT_WR);
}

void ConnectionLoop::takeBack()
{
    std::vector<std::unique_ptr<ClientConnection>> handed;
    {
        const std::lock_guard lock(m_handedMutex);
        handed.swap(m_handedBack);
    }
    for (auto &connection : handed) {
        const int fd = connection->fd.get();
        const auto found = m_entries.find(fd);
        if (found == m_entries.end())
            continue; // cannot happen: a descriptor a worker holds stays open and listed
        found->second.connection = std::move(connection);
        proceed(fd, found->second);
    }
}

void ConnectionLoop::proceed(int fd, Entry &entry)
{
    ClientConnection &connection = *entry.connection;
    if (!connection.output.empty()) {
        entry.state = State::Writing;
        watch(fd, entry, EPOLLOUT);
        setDeadline(fd, entry, Clock::now() + m_bounds.writeTimeout);
        return;
    }
    switch (connection.next) {
    case ClientConnection::Next::ReadHead:
        startReading(fd, entry, false);
        return;
    case ClientConnection::Next::Close:
        close(fd);
        return;
    case ClientConnection::Next::Drain:
        ::shutdown(fd, SHUT_WR);
        entry.state = State::Draining;
        entry.drained = 0;
        watch(fd, entry, EPOLLIN);
        setDeadline(fd, entry, Clock::now() + kDrainTime);
        return;
    }
}

void ConnectionLoop::startReading(int fd, Entry &entry, bool firstRequest)
{
    ClientConnection &connection = *entry.connection;
    if (!m_accepting && connection.input.empty()) {
        close(fd);
        return;
    }
    entry.state = State::Reading;
    if (dispatchIfWhole(fd, entry))
        return;
    if (connection.rearmed)
        entry.armed = true;
    else
        watch(fd, entry, EPOLLIN);
    connection.rearmed = false;
    if (connection.input.empty())
        setDeadline(fd, entry, Clock::now() + (firstRequest ? m_bounds.readTimeout : m_bounds.keepAliveTimeout));
    else
        setDeadline(fd, entry, connection.headStarted + m_bounds.headTimeout);
}

bool ConnectionLoop::dispatchIfWhole(int fd, Entry &entry)
{
    ClientConnection &connection = *entry.connection;
    if (connection.input.empty())
        return false;
    connection.scan = scanRequestHead(connection.input, m_bounds.head);
    if (connection.scan.state == HeadState::Incomplete)
        return false;
    entry.state = State::InWorker;
    setDeadline(fd, entry, Clock::time_point::max());
    m_events.dispatch(std::move(entry.connection));
    return true;
}

void ConnectionLoop::onReadable(int fd, Entry &entry)
{
    ClientConnection &connection = *entry.connection;
    char chunk[kReadChunk];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got < 0 && wouldBlock(errno))
        return;
    if (got <= 0) {
        close(fd);
        return;
    }
    if (connection.input.empty()) {
        connection.headStarted = Clock::now();
        setDeadline(fd, entry, connection.headStarted + m_bounds.headTimeout);
    }
    connection.input.append(chunk, static_cast<std::size_t>(got));
    if (entry.proxyLineAllowed) {
        const ProxyHeader header = readProxyHeader(connection.input);
        switch (header.state) {
        case ProxyHeader::State::Incomplete:
            return;
        case ProxyHeader::State::Malformed:
            close(fd);
            return;
        case ProxyHeader::State::Read:
            // The client is whom the proxy names; the bounds still count
            // the connection against the proxy, which is exempt.
            if (!header.source.empty()) {
                connection.peer = header.source;
                connection.peerPort = header.sourcePort;
            }
            connection.input.erase(0, header.length);
            break;
        case ProxyHeader::State::None:
            break;
        }
        entry.proxyLineAllowed = false;
        if (connection.input.empty()) {
            setDeadline(fd, entry, Clock::now() + m_bounds.readTimeout);
            return;
        }
        connection.headStarted = Clock::now();
    }
    dispatchIfWhole(fd, entry);
}

void ConnectionLoop::onWritable(int fd, Entry &entry)
{
    std::string &output = entry.connection->output;
    const ssize_t sent = ::send(fd, output.data(), output.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && wouldBlock(errno))
        return;
    if (sent <= 0) {
        close(fd);
        return;
    }
    output.erase(0, static_cast<std::size_t>(sent));
    if (!output.empty()) {
        setDeadline(fd, entry, Clock::now() + m_bounds.writeTimeout);
        return;
    }
    output.shrink_to_fit();
    proceed(fd, entry);
}

void ConnectionLoop::onDrainable(int fd, Entry &entry)
{
    char chunk[kReadChunk];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got < 0 && wouldBlock(errno))
        return;
    entry.drained += got > 0 ? static_cast<std::size_t>(got) : 0;
    if (got <= 0 || entry.drained >= kMostDrainedBytes)
        close(fd);
}

void ConnectionLoop::close(int fd)
{
    const auto found = m_entries.find(fd);
    if (found == m_entries.end())
        return;
    Entry &entry = found->second;
    setDeadline(fd, entry, Clock::time_point::max());
    // Closing the descriptor (held nowhere else) takes it out of epoll.
    if (const auto counted = m_perAddress.find(entry.peer); counted != m_perAddress.end()) {
        if (--counted->second == 0)
            m_perAddress.erase(counted);
    }
    m_entries.erase(found); // closes the descriptor with the connection
    if (m_events.closed)
        m_events.closed();
}

void ConnectionLoop::setDeadline(int fd, Entry &entry, Clock::time_point deadline)
{
    if (entry.deadline != Clock::time_point{})
        m_deadlines.erase({entry.deadline, fd});
    entry.deadline = deadline == Clock::time_point::max() ? Clock::time_point{} : deadline;
    if (entry.deadline != Clock::time_point{})
        m_deadlines.insert({entry.deadline, fd});
}

void ConnectionLoop::watch(int fd, Entry &entry, std::uint32_t events)
{
    // One-shot: an event disarms the connection, so a worker can answer on
    // it without the loop being told of it, and re-arming is one call.
    epoll_event event{};
    event.events = events | EPOLLONESHOT;
    event.data.fd = fd;
    ::epoll_ctl(m_epoll.get(), entry.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    entry.registered = true;
    entry.armed = true;
}

void ConnectionLoop::rearm(int fd)
{
    const auto found = m_entries.find(fd);
    if (found == m_entries.end() || found->second.armed)
        return;
    Entry &entry = found->second;
    switch (entry.state) {
    case State::Reading: watch(fd, entry, EPOLLIN); break;
    case State::Draining: watch(fd, entry, EPOLLIN); break;
    case State::Writing: watch(fd, entry, EPOLLOUT); break;
    case State::InWorker: break;
    }
}

void ConnectionLoop::expire()
{
    const Clock::time_point now = Clock::now();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        // A head not finished in time, an idle connection, a client not
        // taking its answer, or a drain that is over: all simply end.
        close(m_deadlines.begin()->second);
    }
}
