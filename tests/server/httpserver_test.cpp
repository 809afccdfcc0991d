#include "httpserver.h"
#include "sqlitescoretable.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s; // far beyond every limit below

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    return fd;
}

// Reads until the server closes the connection, or only until `enough` has
// come when it is given; nullopt if neither happened by the deadline.
std::optional<std::string> readUntil(int fd, std::string_view enough = {})
{
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    std::string got;
    while (enough.empty() || got.find(enough) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return enough.empty() ? std::optional(got) : std::nullopt;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(serverHttp, SlowClientsAreCutOffAndAStopEndsIdleConnections)
{
    TempFolder folder;
    SqliteScoreTable table((folder.path() / "scores.db").string());
    Routes routes(table, PublishedContent(folder.path() / "content"));
    std::FILE *logFile = std::tmpfile();
    AccessLog log(logFile);
    ServerLimits limits;
    limits.readTimeout = 300ms;
    limits.headTimeout = 300ms;
    limits.keepAliveTimeout = 600s; // only a stop can end an idle connection within the deadline
    HttpServer server(routes, log, limits);
    const int port = server.bind("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    std::thread runner([&] { server.run(); });

    const struct {
        const char *name;
        std::string sent;
    } rows[] = {
        {"sends nothing", ""},
        {"never ends its head", "GET / HTTP/1.1\r\nHost: x\r\n"},
    };
    for (const auto &row : rows) {
        const UniqueFd fd(connectTo(port));
        ::send(fd.get(), row.sent.data(), row.sent.size(), MSG_NOSIGNAL);
        const auto answer = readUntil(fd.get());
        ASSERT_TRUE(answer.has_value()) << row.name << ": still open";
        EXPECT_EQ(*answer, "") << row.name;
    }

    const UniqueFd idle(connectTo(port));
    const std::string head = "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n";
    ::send(idle.get(), head.data(), head.size(), MSG_NOSIGNAL);
    const auto answer = readUntil(idle.get(), "\r\n\r\n");
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->starts_with("HTTP/1.1 200 OK\r\n")) << *answer;
    EXPECT_NE(answer->find("Keep-Alive"), std::string::npos) << *answer;
    server.requestStop();
    EXPECT_TRUE(readUntil(idle.get()).has_value()) << "an idle connection outlived the stop";
    runner.join();
    std::fclose(logFile);
}

} // namespace
