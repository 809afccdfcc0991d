#pragma once

// Raw TCP stand-ins for a web server on 127.0.0.1, at ports the system
// picks, to drive the HTTP component against scripted answers.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace loopback {

inline int boundSocket(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("no loopback socket");
    port = ntohs(address.sin_port);
    return fd;
}

// Serves one connection at a time: reads the request up to its blank line
// and any body it announces, records it, sends the scripted answer (one
// for every request, or one chosen by the request), then closes; or holds
// the connection silently until the client closes it; or goes on sending
// the tail chunk, every `tailIntervalMs` or as fast as the client takes it,
// until the client closes.
class Server {
public:
    enum class After { Close, Hold, Stream };
    using Responder = std::function<std::string(const std::string &request)>;

    explicit Server(std::string answer, After after = After::Close)
        : Server([answer = std::move(answer)](const std::string &) { return answer; }, after)
    {
    }
    explicit Server(Responder responder, After after = After::Close, std::string tail = {}, int tailIntervalMs = 0)
        : m_responder(std::move(responder)), m_after(after), m_tail(std::move(tail)), m_tailIntervalMs(tailIntervalMs)
    {
        m_listen = boundSocket(m_port);
        if (::listen(m_listen, 4) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot listen");
        m_thread = std::thread([this] { run(); });
    }
    ~Server()
    {
        (void)!::write(m_stop[1], "s", 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string request() const { return locked(m_request); }
    int connections() const { return locked(m_connections); }
    bool clientClosed() const { return locked(m_clientClosed); }

private:
    template <typename T>
    T locked(const T &value) const
    {
        const std::lock_guard lock(m_mutex);
        return value;
    }

    // Every wait also watches the stop pipe, so the destructor never hangs
    // on a client that went quiet.
    bool wait(int fd, short events) const
    {
        pollfd fds[] = {{fd, events, 0}, {m_stop[0], POLLIN, 0}};
        return ::poll(fds, 2, -1) > 0 && !fds[1].revents;
    }

    static bool complete(const std::string &request)
    {
        const auto end = request.find("\r\n\r\n");
        if (end == std::string::npos)
            return false;
        const auto field = request.find("Content-Length: ");
        const std::size_t length = field < end ? std::stoul(request.substr(field + 16)) : 0;
        return request.size() >= end + 4 + length;
    }

    void run()
    {
        while (wait(m_listen, POLLIN)) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            {
                const std::lock_guard lock(m_mutex);
                ++m_connections;
            }
            serve(client);
            ::close(client);
        }
    }

    void serve(int client)
    {
        std::string request;
        char buffer[4096];
        while (!complete(request)) {
            const ssize_t got = wait(client, POLLIN) ? ::recv(client, buffer, sizeof buffer, 0) : -1;
            if (got <= 0)
                return;
            request.append(buffer, std::size_t(got));
        }
        {
            const std::lock_guard lock(m_mutex);
            m_request = request;
        }
        if (!sendAll(client, m_responder(request)))
            return;
        while (m_after == After::Stream && sendAll(client, m_tail)) {
            // Paced: wait out the interval, ending early only on a stop or
            // when the client goes away.
            pollfd fds[] = {{client, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (m_tailIntervalMs > 0 && ::poll(fds, 2, m_tailIntervalMs) != 0)
                return;
        }
        while (m_after == After::Hold && wait(client, POLLIN)) {
            if (::recv(client, buffer, sizeof buffer, 0) <= 0) {
                const std::lock_guard lock(m_mutex);
                m_clientClosed = true;
                return;
            }
        }
    }

    bool sendAll(int client, const std::string &bytes) const
    {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t put = wait(client, POLLOUT)
                ? ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT)
                : -1;
            if (put < 0 && errno != EAGAIN)
                return false;
            sent += put > 0 ? std::size_t(put) : 0;
        }
        return true;
    }

    const Responder m_responder;
    const After m_after;
    const std::string m_tail;
    const int m_tailIntervalMs;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::string m_request;
    int m_connections = 0;
    bool m_clientClosed = false;
    std::thread m_thread;
};

// A port where no HTTP happens. Refusing: bound without listening, so a
// connect is refused. Unanswered: listening with its backlog of one taken
// by a connection nobody accepts, so the kernel drops every further
// handshake and a connect hangs.
class DeadPort {
public:
    enum class Kind { Refusing, Unanswered };

    explicit DeadPort(Kind kind)
    {
        m_socket = boundSocket(m_port);
        if (kind == Kind::Refusing)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(m_port));
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::listen(m_socket, 0) != 0 || m_filler < 0
            || ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot fill the backlog");
    }
    ~DeadPort()
    {
        if (m_filler >= 0)
            ::close(m_filler);
        ::close(m_socket);
    }
    DeadPort(const DeadPort &) = delete;
    DeadPort &operator=(const DeadPort &) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket = -1;
    int m_filler = -1;
    int m_port = 0;
};

} // namespace loopback
