#pragma once

#include "clientconnection.h"
#include "requesthead.h"
#include "uniquefd.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The bounds the loop keeps clients to.
struct ConnectionBounds {
    HeadLimits head;
    std::chrono::milliseconds readTimeout{5000};      // for the first byte of a connection's first request
    std::chrono::milliseconds headTimeout{5000};      // for a whole head, from its first byte
    std::chrono::milliseconds keepAliveTimeout{5000}; // for the first byte of each later request
    std::chrono::milliseconds writeTimeout{5000};     // for each bit of progress sending held output
    std::size_t maxConnections = 10000;               // open at once, in all
    std::size_t maxConnectionsPerAddress = 64;        // open at once, from one peer address
    // Peers the per-address bound does not apply to: trusted proxies, whose
    // connections may also begin with a PROXY line naming the client.
    std::vector<std::string> unboundedAddresses;
};

// What the loop tells the rest of the server.
struct ConnectionEvents {
    // A connection holding a whole head (or one too large to take) for a
    // worker; hand it back with ConnectionLoop::giveBack when answered.
    std::function<void(std::unique_ptr<ClientConnection>)> dispatch;
    // A connection refused at once for a bound, with the status it was
    // answered (429: its address has too many open, 503: the server has).
    // Returns the answer to send.
    std::function<std::string(std::string_view peer, int status)> refused;
    // Called once, in the loop's thread, when the loop stops accepting.
    std::function<void()> stopAccepting;
    std::function<void()> opened;
    std::function<void()> closed;
};

// Accepts connections and waits on all of them in one thread with epoll,
// so a client that is slow to send its head, or idle between requests, or
// slow to take a short answer, holds no worker: a worker is given a
// connection only once a whole request head has come, and only for as
// long as answering it takes.
class ConnectionLoop {
public:
    // `listener` is a bound, listening socket, not owned; it is made non-blocking.
    ConnectionLoop(int listener, ConnectionBounds bounds, ConnectionEvents events);
    ConnectionLoop(const ConnectionLoop &) = delete;
    ConnectionLoop &operator=(const ConnectionLoop &) = delete;
    ~ConnectionLoop();

    // Serves until requestStop(), then until every connection under way is
    // answered. False when waiting failed for a reason other than a stop.
    bool run();
    // Stops accepting: idle connections are closed, heads under way get
    // up to a second more, answers under way finish. Thread-safe.
    void requestStop();
    // Hands back a connection a worker has answered. Thread-safe.
    void giveBack(std::unique_ptr<ClientConnection> connection);

private:
    enum class State { Reading, InWorker, Writing, Draining };
    using Clock = std::chrono::steady_clock;
    struct Entry {
        std::unique_ptr<ClientConnection> connection; // null while a worker has it
        std::string peer;
        State state = State::Reading;
        Clock::time_point deadline{};
        std::size_t drained = 0;
        bool registered = false; // added to epoll
        bool armed = false;      // and waiting for its next event
        // From a trusted proxy and nothing read yet: it may begin with a
        // PROXY line naming the client (see proxyheader.h).
        bool proxyLineAllowed = false;
    };

    void acceptAll();
    void refuse(UniqueFd fd, const std::string &peer, int status);
    void takeBack();
    void onReadable(int fd, Entry &entry);
    void onWritable(int fd, Entry &entry);
    void onDrainable(int fd, Entry &entry);
    // Moves the connection on to what its `next` asks for.
    void proceed(int fd, Entry &entry);
    void startReading(int fd, Entry &entry, bool firstRequest);
    // Dispatches when the input holds a whole head; true when it did.
    bool dispatchIfWhole(int fd, Entry &entry);
    void close(int fd);
    void setDeadline(int fd, Entry &entry, Clock::time_point deadline);
    void watch(int fd, Entry &entry, std::uint32_t events);
    // Arms the connection again for what its state waits for, after an event.
    void rearm(int fd);
    void expire();
    void beginStop();

    int m_listener;
    ConnectionBounds m_bounds;
    ConnectionEvents m_events;
    UniqueFd m_epoll;
    UniqueFd m_wake; // eventfd: a stop asked for, or connections handed back

    std::unordered_map<int, Entry> m_entries;
    std::set<std::pair<Clock::time_point, int>> m_deadlines;
    std::unordered_map<std::string, std::size_t> m_perAddress;
    Clock::time_point m_acceptPausedUntil{};
    bool m_accepting = true;

    std::mutex m_handedMutex;
    std::vector<std::unique_ptr<ClientConnection>> m_handedBack;
    std::atomic<bool> m_stopRequested{false};
};
