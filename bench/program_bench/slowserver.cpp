#include "slowserver.h"
#include "figures.h"

#include "loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace programbench {

RefusingPort::RefusingPort()
{
    m_fd = loopback::boundSocket(m_port);
}

RefusingPort::~RefusingPort()
{
    ::close(m_fd);
}

SlowServer::SlowServer(std::map<std::string, Route> routes) : m_routes(std::move(routes))
{
    m_listen = loopback::boundSocket(m_port);
    if (::listen(m_listen, 16) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot listen on loopback");
    m_acceptor = std::thread([this] { acceptLoop(); });
}

SlowServer::~SlowServer()
{
    (void)!::write(m_stop[1], "s", 1);
    m_acceptor.join();
    for (std::thread &t : m_connections)
        t.join();
    ::close(m_listen);
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

std::vector<std::string> SlowServer::served() const
{
    const std::lock_guard lock(m_mutex);
    return m_served;
}

SlowServer::Wait SlowServer::wait(int fd, short events, std::int64_t untilNs) const
{
    for (;;) {
        const std::int64_t left = untilNs < 0 ? -1 : std::max<std::int64_t>(0, (untilNs - monotonicNs()) / 1'000'000);
        pollfd fds[] = {{fd, events, 0}, {m_stop[0], POLLIN, 0}};
        const int n = ::poll(fds, fd < 0 ? 0 : 2, int(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || fds[1].revents)
            return Wait::Stop;
        if (n == 0) {
            if (untilNs >= 0 && monotonicNs() < untilNs)
                continue;
            return Wait::Timeout;
        }
        return Wait::Ready;
    }
}

bool SlowServer::pace(std::int64_t untilNs) const
{
    pollfd stop{m_stop[0], POLLIN, 0};
    for (;;) {
        const std::int64_t left = (untilNs - monotonicNs()) / 1'000'000;
        if (left <= 0)
            return true;
        const int n = ::poll(&stop, 1, int(left));
        if (n > 0)
            return false;
    }
}

void SlowServer::acceptLoop()
{
    while (wait(m_listen, POLLIN, -1) == Wait::Ready) {
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            m_connections.emplace_back([this, client] {
                serve(client);
                ::close(client);
            });
    }
}

bool SlowServer::sendAll(int client, const char *data, std::size_t size) const
{
    while (size > 0) {
        if (wait(client, POLLOUT, -1) != Wait::Ready)
            return false;
        const ssize_t put = ::send(client, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno != EAGAIN)
            return false;
        if (put > 0) {
            data += put;
            size -= std::size_t(put);
        }
    }
    return true;
}

void SlowServer::serve(int client)
{
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        if (wait(client, POLLIN, -1) != Wait::Ready)
            return;
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, std::size_t(got));
    }
    const auto sp1 = request.find(' ');
    const auto sp2 = request.find(' ', sp1 + 1);
    std::string path = sp1 == std::string::npos ? "" : request.substr(sp1 + 1, sp2 - sp1 - 1);
    path = path.substr(0, path.find('?'));
    {
        const std::lock_guard lock(m_mutex);
        m_served.push_back(path);
    }
    const auto found = m_routes.find(path);
    const std::int64_t start = monotonicNs();
    if (found == m_routes.end()) {
        const std::string answer = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        sendAll(client, answer.data(), answer.size());
        return;
    }
    const Route &route = found->second;
    if (!pace(start + std::int64_t(route.firstDelayMs) * 1'000'000))
        return;
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: " + route.type
                             + "\r\nContent-Length: " + std::to_string(route.body.size()) + "\r\n\r\n";
    if (!sendAll(client, head.data(), head.size()))
        return;
    const std::int64_t bodyStart = monotonicNs();
    std::size_t sent = 0;
    for (std::size_t piece = 0; sent < route.body.size(); ++piece) {
        if (!pace(bodyStart + std::int64_t(double(piece) * route.intervalMs * 1e6)))
            return;
        const std::size_t n = std::min(route.piece, route.body.size() - sent);
        if (!sendAll(client, route.body.data() + sent, n))
            return;
        sent += n;
    }
}

} // namespace programbench
