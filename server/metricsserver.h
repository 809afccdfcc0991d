#pragma once

#include "metrics.h"

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>

// A listener of its own for the metrics, apart from the players' port so a
// scraper is never queued behind them and the metrics are never public by
// accident. It serves GET (and HEAD) /metrics and nothing else.
class MetricsServer : private httplib::Server {
public:
    explicit MetricsServer(const ServerMetrics &metrics);
    ~MetricsServer() override;
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Binds and listens on `address`; port 0 picks a free port. Returns the
    // port bound, or -1 when it could not be bound.
    int bind(const std::string &address, int port);
    // Serves on a thread of its own until stop(). Does nothing when already
    // started; a stopped server does not start again.
    void start();
    // Stops serving and waits for the requests under way. Idempotent, and
    // sound right after start() too.
    void stop();

private:
    const ServerMetrics &m_metrics;
    std::mutex m_mutex; // serialises start() and stop()
    std::thread m_thread;
};
