// slow_clients PORT SLOW REQUESTS [hold]
//
// Holds SLOW slow connections open to the server on 127.0.0.1:PORT and,
// while they are open, times REQUESTS ordinary requests made one after
// another, each on a new connection, from connect to the end of the answer.
//
// The slow connections come from 127.0.0.2, 127.0.0.3, … with at most 50 on
// one source address, under the server's bound of 64 open connections per
// address, so the server takes every one of them rather than refusing the
// surplus at once. Every other one sends nothing at all; the rest send the
// start of a request head and then one more byte of a header about every
// second, so that head is always under way and never whole.
//
// Prints:
//   slow connections: N open (M closed by the server)
//   ordinary requests: K answered, F failed
//   latency ms: p50 X p90 Y p99 Z max W
// N is how many slow connections were opened (all of them, or the program
// gives up), M how many of them the server had closed by the time the
// requests ended: a server that times slow heads out sheds them while the
// requests run, and M says how much of the load was still there at the end.
// A request counts as answered only for a 200 read to the server's close;
// one that fails or takes longer than 30 s counts as failed, and why is
// written to standard error.
//
// With "hold" the slow connections stay open after the requests (REQUESTS
// may be 0) until SIGTERM or SIGINT, or until the server has closed every
// one: "holding N slow connections" is printed once they are all open and
// the requests are done, and the summary lines when the program ends. A benchmark can stop the server
// while they are open.
//
// Exit status: 0 when it measured, 1 when it could not (bad arguments, too
// low a descriptor limit, a slow connection that could not be opened).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPerSourceAddress = 50;
constexpr auto kWaitLimit = 30s;
constexpr auto kTrickleEvery = 1s;
// Descriptors beyond the slow connections: the standard streams, the pipes,
// the ordinary request's socket.
constexpr rlim_t kSpareDescriptors = 64;
constexpr int kMostFailuresShown = 10;

constexpr std::string_view kPartialHead = "GET /counter/pegsquare.shtml HTTP/1.1\r\nHost: x\r\n";
constexpr std::string_view kRequest = "GET /counter/pegsquare.shtml HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
// Trickled a byte at a time after the partial head. No line end ever comes,
// so the head cannot become whole however long the connection lasts.
constexpr std::string_view kTrickleName = "X-Trickle: ";

int g_wakeWrite = -1; // the signal handler's end of the main thread's wake pipe

void onSignal(int)
{
    const char byte = 's';
    [[maybe_unused]] const ssize_t written = ::write(g_wakeWrite, &byte, 1);
}

bool parseCount(const char *text, long max, long &value)
{
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < 0 || parsed > max)
        return false;
    value = parsed;
    return true;
}

int pollFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready;
    }
}

// A non-blocking TCP socket from `source` to 127.0.0.1:port, connected
// within the deadline; -1 with `why` set when it is not.
int connectFrom(const char *source, int port, Clock::time_point deadline, std::string &why)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0) {
        why = std::string("bind to ") + source + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS) {
            why = std::string("connect: ") + std::strerror(errno);
            ::close(fd);
            return -1;
        }
        const int ready = pollFor(fd, POLLOUT, deadline);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready > 0)
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (ready <= 0 || error != 0) {
            why = ready == 0 ? "connect: no connection within 30 s"
                             : std::string("connect: ") + std::strerror(ready < 0 ? errno : error);
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// Sends all of `data` before the deadline.
bool sendAll(int fd, std::string_view data, Clock::time_point deadline, std::string &why)
{
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            why = std::string("send: ") + std::strerror(errno);
            return false;
        }
        if (pollFor(fd, POLLOUT, deadline) <= 0) {
            why = "send: not taken within 30 s";
            return false;
        }
    }
    return true;
}

// One ordinary request on a new connection; its time from connect to the
// server's close in milliseconds, or a negative number with `why` set.
double timedRequest(int port, std::string &why)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + kWaitLimit;
    const int fd = connectFrom("127.0.0.1", port, deadline, why);
    if (fd < 0)
        return -1;
    std::string answer;
    bool ok = sendAll(fd, kRequest, deadline, why);
    while (ok) {
        char chunk[16 * 1024];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            answer.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0)
            break;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            if (pollFor(fd, POLLIN, deadline) <= 0) {
                why = "no whole answer within 30 s (" + std::to_string(answer.size()) + " bytes came)";
                ok = false;
            }
            continue;
        }
        why = std::string("recv: ") + std::strerror(errno) + " after " + std::to_string(answer.size()) + " bytes";
        ok = false;
    }
    const Clock::time_point end = Clock::now();
    ::close(fd);
    if (!ok)
        return -1;
    if (!answer.starts_with("HTTP/1.1 200 ")) {
        why = "answered \"" + answer.substr(0, std::min<std::size_t>(answer.find('\r'), 40)) + "\"";
        return -1;
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Slow {
    int fd = -1;
    bool trickles = false;
    std::size_t trickled = 0;
};

// The slow connections, and the thread that trickles bytes into half of
// them and notices the server closing any of them.
class SlowConnections {
public:
    SlowConnections(std::vector<Slow> slow, int wakeMain) : m_slow(std::move(slow)), m_wakeMain(wakeMain)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        m_stopRead = ends[0];
        m_stopWrite = ends[1];
        m_open = static_cast<int>(m_slow.size());
    }

    ~SlowConnections()
    {
        for (const Slow &s : m_slow) {
            if (s.fd >= 0)
                ::close(s.fd);
        }
        ::close(m_stopRead);
        ::close(m_stopWrite);
    }

    void start() { m_thread = std::thread([this] { run(); }); }

    // Stops the thread and takes note of any close it has not seen yet.
    void stop()
    {
        const char byte = 'x';
        [[maybe_unused]] const ssize_t written = ::write(m_stopWrite, &byte, 1);
        m_thread.join();
        notice(0);
    }

    int open() const { return m_open; }
    int closedByServer() const { return static_cast<int>(m_slow.size()) - m_open; }

private:
    void run()
    {
        Clock::time_point nextTrickle = Clock::now() + kTrickleEvery;
        for (;;) {
            const auto left =
                std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(nextTrickle - Clock::now()).count());
            if (notice(static_cast<int>(left)))
                return;
            if (Clock::now() >= nextTrickle) {
                trickle();
                nextTrickle += kTrickleEvery;
            }
        }
    }

    // Waits up to `timeout` ms for the stop pipe or a slow connection to
    // become readable, and reads what came: an answer the server sent
    // (such as a refusal) is taken and dropped, its close counted. True
    // when asked to stop.
    bool notice(int timeout)
    {
        std::vector<pollfd> watched;
        std::vector<std::size_t> which;
        watched.push_back({m_stopRead, POLLIN, 0});
        for (std::size_t i = 0; i < m_slow.size(); ++i) {
            if (m_slow[i].fd >= 0) {
                watched.push_back({m_slow[i].fd, POLLIN, 0});
                which.push_back(i);
            }
        }
        const int ready = ::poll(watched.data(), watched.size(), timeout);
        if (ready <= 0)
            return false;
        for (std::size_t k = 1; k < watched.size(); ++k) {
            if (watched[k].revents == 0)
                continue;
            Slow &s = m_slow[which[k - 1]];
            char chunk[4096];
            ssize_t got;
            while ((got = ::recv(s.fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) {
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                closeSlow(s);
        }
        return watched[0].revents != 0;
    }

    void trickle()
    {
        for (Slow &s : m_slow) {
            if (s.fd < 0 || !s.trickles)
                continue;
            const char byte = s.trickled < kTrickleName.size() ? kTrickleName[s.trickled] : 'a';
            const ssize_t sent = ::send(s.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent == 1)
                ++s.trickled;
            else if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                closeSlow(s);
        }
    }

    void closeSlow(Slow &s)
    {
        ::close(s.fd);
        s.fd = -1;
        if (--m_open == 0 && m_wakeMain >= 0) {
            const char byte = 'c';
            [[maybe_unused]] const ssize_t written = ::write(m_wakeMain, &byte, 1);
        }
    }

    std::vector<Slow> m_slow;
    int m_wakeMain;
    int m_stopRead = -1;
    int m_stopWrite = -1;
    std::atomic<int> m_open{0};
    std::thread m_thread;
};

double percentile(const std::vector<double> &sorted, double p)
{
    // Nearest rank: the smallest value with at least p % of them at or below it.
    std::size_t rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

} // namespace

int main(int argc, char **argv)
{
    long port = 0;
    long slowCount = 0;
    long requests = 0;
    const bool hold = argc == 5 && std::string_view(argv[4]) == "hold";
    if ((argc != 4 && !hold) || !parseCount(argv[1], 65535, port) || port == 0
        || !parseCount(argv[2], 100000, slowCount) || !parseCount(argv[3], 10000000, requests)) {
        std::fprintf(stderr, "usage: slow_clients PORT SLOW REQUESTS [hold]\n");
        return 1;
    }
    // 50 connections per address over 127.0.0.2 … 127.0.0.254.
    if (slowCount > 253L * kPerSourceAddress) {
        std::fprintf(stderr, "slow_clients: at most %ld slow connections\n", 253L * kPerSourceAddress);
        return 1;
    }

    // A thousand connections outgrow the usual soft limit of 1024
    // descriptors; the hard limit is as far as this process may go.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t needed = static_cast<rlim_t>(slowCount) + kSpareDescriptors;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed) {
        std::fprintf(stderr,
                     "slow_clients: %ld slow connections need %llu descriptors, but the hard limit is %llu; "
                     "raise it (ulimit -Hn) and run again\n",
                     slowCount, static_cast<unsigned long long>(needed),
                     static_cast<unsigned long long>(limit.rlim_max));
        return 1;
    }
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::fprintf(stderr, "slow_clients: cannot raise the descriptor limit: %s\n", std::strerror(errno));
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pipe");
        return 1;
    }
    g_wakeWrite = wake[1];
    if (hold) {
        struct sigaction action{};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }

    std::vector<Slow> slow;
    slow.reserve(static_cast<std::size_t>(slowCount));
    for (long i = 0; i < slowCount; ++i) {
        const std::string source = "127.0.0." + std::to_string(2 + i / kPerSourceAddress);
        const Clock::time_point deadline = Clock::now() + kWaitLimit;
        std::string why;
        Slow s;
        s.fd = connectFrom(source.c_str(), static_cast<int>(port), deadline, why);
        s.trickles = i % 2 == 1;
        if (s.fd >= 0 && s.trickles && !sendAll(s.fd, kPartialHead, deadline, why)) {
            ::close(s.fd);
            s.fd = -1;
        }
        if (s.fd < 0) {
            std::fprintf(stderr, "slow_clients: slow connection %ld from %s: %s\n", i + 1, source.c_str(),
                         why.c_str());
            for (const Slow &opened : slow)
                ::close(opened.fd);
            return 1;
        }
        slow.push_back(s);
    }
    SlowConnections connections(std::move(slow), hold ? wake[1] : -1);
    connections.start();

    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(requests));
    long failed = 0;
    for (long i = 0; i < requests; ++i) {
        std::string why;
        const double ms = timedRequest(static_cast<int>(port), why);
        if (ms >= 0) {
            latencies.push_back(ms);
            continue;
        }
        if (++failed <= kMostFailuresShown)
            std::fprintf(stderr, "slow_clients: request %ld failed: %s\n", i + 1, why.c_str());
    }
    if (failed > kMostFailuresShown)
        std::fprintf(stderr, "slow_clients: %ld more requests failed\n", failed - kMostFailuresShown);

    if (hold) {
        std::printf("holding %d slow connections\n", connections.open());
        std::fflush(stdout);
        // Until a signal, or until there is nothing left to hold.
        while (connections.open() > 0) {
            pollfd p{wake[0], POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                break;
            char drained[64];
            bool signalled = false;
            ssize_t got;
            while ((got = ::read(wake[0], drained, sizeof drained)) > 0)
                signalled = signalled || std::find(drained, drained + got, 's') != drained + got;
            if (signalled)
                break;
        }
    }
    connections.stop();

    std::sort(latencies.begin(), latencies.end());
    std::printf("slow connections: %ld open (%d closed by the server)\n", slowCount, connections.closedByServer());
    std::printf("ordinary requests: %zu answered, %ld failed\n", latencies.size(), failed);
    if (latencies.empty())
        std::printf("latency ms: p50 - p90 - p99 - max -\n");
    else
        std::printf("latency ms: p50 %.2f p90 %.2f p99 %.2f max %.2f\n", percentile(latencies, 50),
                    percentile(latencies, 90), percentile(latencies, 99), latencies.back());
    return 0;
}
