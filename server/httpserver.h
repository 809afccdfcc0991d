#pragma once

#include "accesslog.h"
#include "clientconnection.h"
#include "connectionloop.h"
#include "metrics.h"
#include "requesthead.h"
#include "routes.h"
#include "uniquefd.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The bounds on clients: how long they may take and how much they may send.
struct ServerLimits {
    HeadLimits head;
    std::chrono::milliseconds readTimeout{5000};  // for the first byte of a request, and each read
    std::chrono::milliseconds writeTimeout{5000}; // for each write
    std::chrono::milliseconds headTimeout{5000};  // for a whole head, from its first byte
    std::chrono::milliseconds keepAliveTimeout{5000};
    std::size_t maxRequestsPerConnection = 1000;
    // Workers answer requests whose heads have come whole; waiting for
    // heads, idle connections and short answers to slow readers holds none.
    std::size_t workerThreads = 32;
    std::size_t maxConnections = 10000;         // open at once, in all; past it 503
    std::size_t maxConnectionsPerAddress = 64;  // open at once from one address; past it 429
};

// The HTTP side: one thread waits on every connection (see
// connectionloop.h) and hands a connection whose request head has come
// whole to a worker, which has httplib parse and answer it; request heads
// are bounded (414, 431) before httplib reads them, and every request is
// answered by the routes.
class HttpServer : private httplib::Server {
public:
    // Requests from an address in `trustedProxies` are taken to be on behalf
    // of the client their X-Forwarded-For names (see clientaddress.h).
    HttpServer(Routes &routes, AccessLog &log, const ServerLimits &limits = {},
               std::vector<std::string> trustedProxies = {});
    ~HttpServer() override;

    // Counts requests, refusals and connections in `metrics` from now on;
    // only before bind(). It must outlive the server.
    void setMetrics(ServerMetrics *metrics) { m_metrics = metrics; }

    // Binds and listens on `address`; port 0 picks a free port. Returns the
    // port bound, or -1 with errno telling why when it could not be bound.
    int bind(const std::string &address, int port);
    // Serves until requestStop(); then lets the requests under way finish.
    // False when accepting failed for another reason.
    bool run();
    // Asks run() to return. Thread-safe and idempotent, but it takes locks, so
    // it must not be called from a signal handler.
    void requestStop();

private:
    // Answers the request at the start of `connection`'s input, in a worker.
    void serve(std::unique_ptr<ClientConnection> connection);
    // The two busiest requests, as plain GETs, are answered without a
    // worker: the list page, when it is cached, at once in the loop; a score
    // posting from the score table's thread once it is stored, so no worker
    // sleeps through the sync. Takes the connection and returns true for
    // such a request; false otherwise.
    bool answerWithoutWorker(std::unique_ptr<ClientConnection> &connection);
    // Sends, logs and counts an answer given by answerWithoutWorker, and
    // hands the connection back to the loop.
    void finishWithoutWorker(std::unique_ptr<ClientConnection> connection, std::string_view client,
                             std::string_view target, const Reply &reply);
    void answer(const httplib::Request &request, httplib::Response &response);
    void logAnswer(const httplib::Request &request, const httplib::Response &response);
    // Counts an answer in the metrics, and a refusal by a limit.
    void count(std::string_view target, int status);
    // Writes `reply` and logs it, for requests httplib is not to see.
    void answerDirectly(class ConnectionStream &stream, const Reply &reply);
    // The answer to a connection refused for a bound, logged.
    std::string refusal(std::string_view peer, int status);
    void closeListener();

    Routes &m_routes;
    AccessLog &m_log;
    ServerLimits m_limits;
    const std::vector<std::string> m_trustedProxies;
    std::unique_ptr<ConnectionLoop> m_loop; // from bind() on
    httplib::ThreadPool *m_workers = nullptr; // while run() runs
    ServerMetrics *m_metrics = nullptr;
    std::atomic<bool> m_stopping{false};
    // Postings handed to the score table and not yet answered: run() waits
    // for them, since their answers use this server.
    std::mutex m_postingsMutex;
    std::condition_variable m_postingsAnswered;
    std::size_t m_postingsOut = 0;
    std::mutex m_refusalNoteMutex;
    std::chrono::steady_clock::time_point m_lastRefusalNote{};
};
