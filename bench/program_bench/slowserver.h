#pragma once

// Loopback stand-ins for the vendor's web server: one that refuses every
// connection at once, and one that answers its routes slowly, as a distant
// server would.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace programbench {

// A loopback port where a connection is refused at once: bound, never
// listening. The program's update check at start-up goes there, so it
// neither waits for a time-out nor asks a server another program runs.
class RefusingPort {
public:
    // Throws std::runtime_error when no loopback socket can be had.
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort &) = delete;
    RefusingPort &operator=(const RefusingPort &) = delete;
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A web server on loopback that answers slowly: each route's head comes
// after a delay, its body in small pieces on a schedule. One thread per
// connection, so the fetches and the download overlap as they would with a
// distant server. The pacing waits also watch a stop pipe, so the
// destructor never waits for a schedule to run out.
class SlowServer {
public:
    // What one path answers: its content type and body, the head after
    // firstDelayMs, then the body in pieces of `piece` bytes, one every
    // intervalMs.
    struct Route {
        std::string type;
        std::string body;
        int firstDelayMs = 0;
        std::size_t piece = 256;
        double intervalMs = 20;
    };

    // Listens on a free loopback port and serves `routes` (by path, the
    // query left off; any other path gets a 404) until destroyed. Throws
    // std::runtime_error when it cannot listen.
    explicit SlowServer(std::map<std::string, Route> routes);
    // Ends every connection, even in the middle of its schedule.
    ~SlowServer();
    SlowServer(const SlowServer &) = delete;
    SlowServer &operator=(const SlowServer &) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    // The path of every request so far, in the order they came.
    std::vector<std::string> served() const;

private:
    // Waits for `fd` or until `untilNs`; false when stopping or timed out
    // with nothing on `fd` (timeout is the normal end of a pacing wait).
    enum class Wait { Ready, Timeout, Stop };
    Wait wait(int fd, short events, std::int64_t untilNs) const;
    bool pace(std::int64_t untilNs) const;
    void acceptLoop();
    bool sendAll(int client, const char *data, std::size_t size) const;
    void serve(int client);

    std::map<std::string, Route> m_routes;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;  // touched by the acceptor only, then by the destructor
    mutable std::mutex m_mutex;
    std::vector<std::string> m_served;
};

} // namespace programbench
