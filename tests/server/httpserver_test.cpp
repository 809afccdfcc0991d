#include "httpserver.h"
#include "sqlitescoretable.h"
#include "tempfolder.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(serverHttp, SlowClientsAreCutOffAndAStopEndsIdleConnections)
{
    TempFolder folder;
    SqliteScoreTable table((folder.path() / "scores.db").string());
    Routes routes(table, PublishedContent(folder.path() / "content"), "http://test.example");
    std::FILE *logFile = std::tmpfile();
    AccessLog log(logFile);
    ServerLimits limits;
    limits.readTimeout = 300ms;
    limits.headTimeout = 300ms;
    limits.keepAliveTimeout = 600s; // only a stop can end an idle connection before the deadline
    HttpServer server(routes, log, limits);
    const int port = server.bind("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    std::thread runner([&] { server.run(); });

    for (const char *sent : {"", "GET / HTTP/1.1\r\nHost: x\r\n"}) {
        const UniqueFd slow = connectLoopback(port, sent);
        EXPECT_EQ(readUntil(slow.get()), std::optional<std::string>("")) << "sent: " << sent;
    }

    const UniqueFd idle = connectLoopback(port, "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
    const auto answer = readUntil(idle.get(), "\r\n\r\n");
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->starts_with("HTTP/1.1 200 OK\r\n")) << *answer;
    EXPECT_NE(answer->find("Keep-Alive"), std::string::npos) << *answer;
    server.requestStop();
    EXPECT_TRUE(readUntil(idle.get()).has_value()) << "an idle connection outlived the stop";
    runner.join();
    std::fclose(logFile);
}

// Served with the given limits on a free loopback port until destroyed.
class LoopbackServer {
public:
    explicit LoopbackServer(const ServerLimits &limits, std::vector<std::string> trustedProxies = {})
        : m_table((m_folder.path() / "scores.db").string()),
          m_routes(m_table, PublishedContent(m_folder.path() / "content"), "http://test.example"),
          m_logFile(std::tmpfile()), m_log(m_logFile), m_server(m_routes, m_log, limits, std::move(trustedProxies))
    {
        m_port = m_server.bind("127.0.0.1", 0);
        m_runner = std::thread([this] { m_server.run(); });
    }
    ~LoopbackServer()
    {
        m_server.requestStop();
        m_runner.join();
        std::fclose(m_logFile);
    }
    int port() const { return m_port; }
    SqliteScoreTable &table() { return m_table; }
    // The access log so far.
    std::string log() const
    {
        std::fflush(m_logFile);
        std::string text;
        char chunk[4096];
        for (long at = 0;; at += static_cast<long>(sizeof chunk)) {
            const ssize_t got = ::pread(fileno(m_logFile), chunk, sizeof chunk, at);
            if (got <= 0)
                break;
            text.append(chunk, static_cast<std::size_t>(got));
        }
        return text;
    }
    // The access log once it holds every one of `lines`, or as it is when
    // the wire's deadline passes. A request is logged as its answer goes
    // out, so its line may come just after the client has read the answer.
    std::string logOnceItHas(const std::vector<std::string> &lines) const
    {
        const auto deadline = std::chrono::steady_clock::now() + kWireDeadline;
        for (;;) {
            std::string text = log();
            const bool all = std::all_of(lines.begin(), lines.end(),
                                         [&](const std::string &l) { return text.find(l) != std::string::npos; });
            if (all || std::chrono::steady_clock::now() >= deadline)
                return text;
            std::this_thread::yield();
        }
    }

private:
    TempFolder m_folder;
    SqliteScoreTable m_table;
    Routes m_routes;
    std::FILE *m_logFile;
    AccessLog m_log;
    HttpServer m_server;
    int m_port = -1;
    std::thread m_runner;
};

// Heads that take long to come, and idle connections, hold no worker: with
// two workers and hundreds of such clients, an ordinary request is answered
// at once, long before any of them times out, and they are still open.
TEST(serverHttp, SlowClientsHoldNoWorker)
{
    ServerLimits limits;
    limits.workerThreads = 2;
    limits.maxConnectionsPerAddress = 1000;
    limits.readTimeout = 600s;
    limits.headTimeout = 600s;
    LoopbackServer server(limits);
    ASSERT_GT(server.port(), 0);

    std::vector<UniqueFd> slow;
    for (int i = 0; i < 300; ++i) {
        slow.push_back(connectLoopback(server.port(), i % 2 == 0 ? "" : "GET /scores.php HTTP/1.1\r\nHost: x\r\n"));
        ASSERT_TRUE(slow.back().valid()) << "connection " << i;
    }
    for (int round = 0; round < 3; ++round) {
        const UniqueFd ordinary = connectLoopback(server.port(), "GET /version.txt HTTP/1.1\r\nHost: x\r\n\r\n");
        const auto answer = readUntil(ordinary.get(), "\r\n\r\n");
        ASSERT_TRUE(answer.has_value()) << "round " << round;
        EXPECT_TRUE(answer->starts_with("HTTP/1.1 ")) << *answer;
    }
    for (const UniqueFd &fd : slow) {
        pollfd entry{fd.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&entry, 1, 0), 0) << "a slow client was answered or cut off early";
    }
}

// Reads `count` whole answers (heads with a Content-Length, and bodies)
// from a kept-alive connection; nullopt when they did not come in time.
std::optional<std::string> readAnswers(int fd, int count)
{
    const auto deadline = std::chrono::steady_clock::now() + kWireDeadline;
    std::string got;
    for (;;) {
        std::size_t at = 0;
        int whole = 0;
        for (; whole < count; ++whole) {
            const std::size_t headEnd = got.find("\r\n\r\n", at);
            const std::size_t length = got.find("Content-Length: ", at);
            if (headEnd == std::string::npos || length == std::string::npos || length > headEnd)
                break;
            const std::size_t end = headEnd + 4 + std::stoul(got.substr(length + 16));
            if (end > got.size())
                break;
            at = end;
        }
        if (whole == count)
            return got;
        pollfd entry{fd, POLLIN, 0};
        char chunk[65536];
        const ssize_t n = ::poll(&entry, 1, msLeft(deadline)) > 0 ? ::recv(fd, chunk, sizeof chunk, 0) : -1;
        if (n <= 0)
            return std::nullopt;
        got.append(chunk, static_cast<std::size_t>(n));
    }
}

// A posting waits for its sync without a worker: with one worker and the
// sync held, other requests are still answered and no posting is; once it
// is let go each posting gets the answer httplib gives the same request
// (its HEAD, byte for byte up to the body), and a posting sent right
// behind another on one connection is answered after it. So is the list
// page, which the loop gives from the cache.
TEST(serverHttp, PostingsAndTheListAnsweredWithoutAWorkerReadAsHttplibsAnswers)
{
    ServerLimits limits;
    limits.workerThreads = 1;
    limits.keepAliveTimeout = 60s;
    LoopbackServer server(limits, {"127.0.0.1"});
    ASSERT_GT(server.port(), 0);
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool released = false;
    server.table().setBeforeCommit([&](std::size_t) {
        std::unique_lock lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    const auto posting = [](int i, const char *score, const char *version = "HTTP/1.1", const char *more = "") {
        return "GET /cgi-bin/pegsquare.cgi?name=Player " + std::to_string(i) + "&date=12/9/26&score=" + score + " "
            + version + "\r\nHost: x\r\nX-Forwarded-For: 203.0.113." + std::to_string(i) + "\r\n" + more + "\r\n";
    };
    struct Row {
        const char *name;
        std::string sent;
        int answers;
        const char *status;
        bool closes = false; // the server ends the connection after the answer
    };
    const Row rows[] = {
        {"stored", posting(1, "120"), 1, "HTTP/1.1 200 OK\r\n"},
        {"refused", posting(2, "12x"), 1, "HTTP/1.1 400 Bad Request\r\n"},
        {"two in one go", posting(3, "7") + posting(4, "8"), 2, "HTTP/1.1 200 OK\r\n"},
        {"another stored", posting(5, "99"), 1, "HTTP/1.1 200 OK\r\n"},
        {"as the game posts", posting(6, "40", "HTTP/1.0", "User-Agent: Pegsquare HTTPGet\r\nAccept: */*\r\n"), 1,
         "HTTP/1.1 200 OK\r\n", true},
        {"asked to close", posting(7, "41", "HTTP/1.1", "Connection: close\r\n"), 1, "HTTP/1.1 200 OK\r\n", true},
    };
    std::vector<UniqueFd> connections;
    for (const Row &row : rows) {
        connections.push_back(connectLoopback(server.port(), row.sent));
        ASSERT_TRUE(connections.back().valid()) << row.name;
        if (connections.size() == 1) {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(changed.wait_for(lock, kWireDeadline, [&] { return held; }));
        }
    }
    const UniqueFd other = connectLoopback(server.port(), "GET /pegsquare/pegsquareversion.txt HTTP/1.1\r\n"
                                                          "Host: x\r\nConnection: close\r\n\r\n");
    const auto otherAnswer = readUntil(other.get());
    for (std::size_t i = 0; i < connections.size(); ++i) {
        if (std::string_view(rows[i].status).find(" 200 ") == std::string_view::npos)
            continue;
        pollfd entry{connections[i].get(), POLLIN, 0};
        EXPECT_EQ(::poll(&entry, 1, 0), 0) << rows[i].name << ": answered before its sync";
    }
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    ASSERT_TRUE(otherAnswer.has_value()) << "a request waited for the postings' sync";
    EXPECT_TRUE(otherAnswer->starts_with("HTTP/1.1 200 ")) << *otherAnswer;

    for (std::size_t i = 0; i < connections.size(); ++i) {
        const Row &row = rows[i];
        const std::optional<std::string> answers = readAnswers(connections[i].get(), row.answers);
        ASSERT_TRUE(answers.has_value()) << row.name;
        const std::string &got = *answers;
        EXPECT_TRUE(got.starts_with(row.status)) << row.name << "\n" << got;
        if (row.closes) { // the connection ends here, long before its keep-alive time would run out
            EXPECT_EQ(readUntil(connections[i].get()), std::optional<std::string>("")) << row.name;
        }
        // The same request as HEAD goes through httplib.
        std::string head = row.sent.substr(0, row.sent.find("\r\n\r\n") + 4);
        head.replace(0, 3, "HEAD");
        const UniqueFd asHead = connectLoopback(server.port(), head);
        const auto headAnswer = readUntil(asHead.get(), "\r\n\r\n");
        ASSERT_TRUE(headAnswer.has_value()) << row.name;
        EXPECT_EQ(got.substr(0, got.find("\r\n\r\n") + 4), *headAnswer) << row.name;
    }
    std::vector<std::string> posted;
    for (int i : {1, 2, 3, 4, 5, 6, 7})
        posted.push_back(" 203.0.113." + std::to_string(i) + " GET /cgi-bin/pegsquare.cgi?name=Player%20");
    const std::string log = server.logOnceItHas(posted);
    for (int i : {1, 2, 3, 4, 5, 6, 7})
        EXPECT_NE(log.find(" 203.0.113." + std::to_string(i) + " GET /cgi-bin/pegsquare.cgi?name=Player%20"), std::string::npos)
            << i << "\n" << log;
    EXPECT_LT(log.find("Player%203&"), log.find("Player%204&")) << log;

    // The list page is built by a worker the first time and given from
    // the cache after; both answers are the same bytes.
    const std::string listRequest = "GET /counter/pegsquare.shtml HTTP/1.1\r\nHost: x\r\n\r\n";
    const UniqueFd list = connectLoopback(server.port(), listRequest + listRequest);
    const std::optional<std::string> lists = readAnswers(list.get(), 2);
    ASSERT_TRUE(lists.has_value());
    const std::string_view both = *lists;
    ASSERT_EQ(both.size() % 2, 0u);
    EXPECT_EQ(both.substr(0, both.size() / 2), both.substr(both.size() / 2));
    EXPECT_TRUE(both.starts_with("HTTP/1.1 200 OK\r\n")) << both;
}

// The bounds on open connections: at the bound a connection is served,
// past it refused at once with the status and a Retry-After, counted per
// peer address for the one bound and over all addresses for the other.
TEST(serverHttp, OpenConnectionsAreBoundedPerAddressAndInAll)
{
    struct Row {
        const char *name;
        std::size_t perAddress;
        std::size_t total;
        std::vector<const char *> holders; // addresses whose idle connections are open first
        const char *from;                  // the address of the connection tried next
        int status;                        // 200: served
    };
    const std::vector<Row> rows = {
        {"under both bounds", 3, 10, {"127.0.0.1", "127.0.0.1"}, "127.0.0.1", 200},
        {"at the per-address bound", 3, 10, {"127.0.0.1", "127.0.0.1", "127.0.0.1"}, "127.0.0.1", 429},
        {"another address is counted apart", 3, 10, {"127.0.0.1", "127.0.0.1", "127.0.0.1"}, "127.0.0.2", 200},
        {"at the bound in all", 3, 4, {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}, "127.0.0.5", 503},
    };
    for (const Row &row : rows) {
        ServerLimits limits;
        limits.maxConnectionsPerAddress = row.perAddress;
        limits.maxConnections = row.total;
        LoopbackServer server(limits);
        ASSERT_GT(server.port(), 0) << row.name;
        std::vector<UniqueFd> held;
        for (const char *holder : row.holders) {
            held.push_back(connectLoopback(server.port(), {}, holder));
            ASSERT_TRUE(held.back().valid()) << row.name;
        }
        // Connections are accepted in the order they were made, so the
        // holders are counted before the next one is tried.
        const UniqueFd tried = connectLoopback(server.port(), "HEAD /healthz HTTP/1.1\r\nHost: x\r\n\r\n", row.from);
        const auto answer = readUntil(tried.get(), "\r\n\r\n");
        ASSERT_TRUE(answer.has_value()) << row.name;
        const int status = std::atoi(answer->substr(9, 3).c_str());
        EXPECT_EQ(status, row.status) << row.name << "\n" << *answer;
        if (row.status != 200) {
            EXPECT_NE(answer->find("\r\nRetry-After: "), std::string::npos) << row.name;
        }
    }
}

// The log names the client a trusted proxy forwarded for, and the peer
// itself when the peer is not trusted.
TEST(serverHttp, TheLogNamesTheForwardedClientOnlyForATrustedProxy)
{
    struct Row {
        const char *name;
        std::vector<std::string> trusted;
        const char *logged;
        std::string before = {}; // sent ahead of the request
    };
    const std::string proxyLine = "PROXY TCP4 198.51.100.4 127.0.0.1 40000 80\r\n";
    const Row rows[] = {
        {"trusted proxy", {"127.0.0.1"}, " 203.0.113.9 GET /healthz 200 "},
        {"untrusted peer", {"127.0.0.2"}, " 127.0.0.1 GET /healthz 200 "},
        // A balancer of plain connections names the client in a PROXY
        // line; the client it names is no proxy, so its header is not believed.
        {"PROXY line from a trusted proxy", {"127.0.0.1"}, " 198.51.100.4 GET /healthz 200 ", proxyLine},
        {"PROXY line from anyone else", {"127.0.0.2"}, " 127.0.0.1 PROXY ", proxyLine},
    };
    for (const Row &row : rows) {
        LoopbackServer server(ServerLimits{}, row.trusted);
        ASSERT_GT(server.port(), 0) << row.name;
        const UniqueFd fd = connectLoopback(
            server.port(),
            row.before + "GET /healthz HTTP/1.1\r\nX-Forwarded-For: 203.0.113.9\r\nConnection: close\r\n\r\n");
        ASSERT_TRUE(readUntil(fd.get()).has_value()) << row.name;
        const std::string log = server.logOnceItHas({std::string(row.logged)});
        EXPECT_NE(log.find(row.logged), std::string::npos) << row.name << "\n" << log;
    }
}

} // namespace
