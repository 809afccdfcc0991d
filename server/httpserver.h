#pragma once

#include "accesslog.h"
#include "requesthead.h"
#include "routes.h"
#include "uniquefd.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
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
    std::size_t workerThreads = 32;
};

// The HTTP side: httplib's listener and thread pool, with each connection
// run here so that request heads are bounded (414, 431) before httplib reads
// them, and with every request answered by the routes.
class HttpServer : private httplib::Server {
public:
    // Requests from an address in `trustedProxies` are taken to be on behalf
    // of the client their X-Forwarded-For names (see clientaddress.h).
    HttpServer(Routes &routes, AccessLog &log, const ServerLimits &limits = {},
               std::vector<std::string> trustedProxies = {});
    ~HttpServer() override;

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
    bool process_and_close_socket(socket_t sock) override;
    void answer(const httplib::Request &request, httplib::Response &response);
    void logAnswer(const httplib::Request &request, const httplib::Response &response);
    // Writes `reply` and logs it, for requests httplib is not to see.
    void answerDirectly(class ConnectionStream &stream, const Reply &reply);

    Routes &m_routes;
    AccessLog &m_log;
    ServerLimits m_limits;
    const std::vector<std::string> m_trustedProxies;
    UniqueFd m_stopEvent; // readable once requestStop() has been called
    std::atomic<bool> m_stopping{false};
};
