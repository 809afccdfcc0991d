#include "metricsserver.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kListenBacklog = 64;
constexpr std::size_t kWorkerThreads = 2;
constexpr time_t kTimeoutSeconds = 5;
// A scrape is a GET; nothing it could send needs more.
constexpr std::size_t kMaxPayload = 1024;

// Only SO_REUSEADDR: httplib's default also sets SO_REUSEPORT, which would let
// a second server bind the same port and take half of the scrapes.
void listenerOptions(socket_t sock)
{
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace

MetricsServer::MetricsServer(const ServerMetrics &metrics) : m_metrics(metrics)
{
    new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    set_socket_options(listenerOptions);
    set_payload_max_length(kMaxPayload);
    set_read_timeout(kTimeoutSeconds, 0);
    set_write_timeout(kTimeoutSeconds, 0);
    // One request a connection: with two workers, a pair of idle kept-alive
    // connections would otherwise hold off every other scraper.
    set_keep_alive_max_count(1);
    Get("/metrics", [this](const httplib::Request &, httplib::Response &response) {
        response.set_content(m_metrics.render(), "text/plain; version=0.0.4; charset=utf-8");
    });
    set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            response.set_content(response.status == 404 ? "Only /metrics is served here.\n" : "Refused.\n",
                                 "text/plain; charset=utf-8");
    });
}

MetricsServer::~MetricsServer()
{
    stop();
}

int MetricsServer::bind(const std::string &address, int port)
{
    const int bound = port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : -1);
    if (bound < 0)
        return -1;
    ::listen(svr_sock_, kListenBacklog);
    return bound;
}

void MetricsServer::start()
{
    const std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        m_thread = std::thread([this] { listen_after_bind(); });
}

void MetricsServer::stop()
{
    const std::lock_guard lock(m_mutex);
    // What httplib's stop() does, but whether or not the accept loop has
    // begun yet: its stop() does nothing before then, and a stop that came
    // early would leave the loop running and the join below waiting forever.
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener != INVALID_SOCKET) {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
    }
    if (m_thread.joinable())
        m_thread.join();
}
