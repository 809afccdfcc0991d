#include "httpserver.h"
#include "sqlitescoretable.h"
#include "tempfolder.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <thread>

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

} // namespace
