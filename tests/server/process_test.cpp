#include "serverprocess.h"
#include "sqlitescoretable.h"
#include "tempfolder.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <utility>

namespace {

struct Response {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// Sends `request` on a new connection and reads the answer until the server
// closes it; status 0 when there was none in time.
Response askServer(int port, const std::string &request)
{
    Response response;
    const UniqueFd fd = connectLoopback(port, request);
    const std::string raw = readUntil(fd.get()).value_or("");
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (!raw.starts_with("HTTP/1.1 ") || headEnd == std::string::npos)
        return response;
    response.status = std::stoi(raw.substr(9, 3));
    for (std::size_t at = raw.find("\r\n") + 2; at < headEnd + 2;) {
        const std::size_t end = raw.find("\r\n", at);
        const std::string line = raw.substr(at, end - at);
        at = end + 2;
        std::string name = line.substr(0, line.find(':'));
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        response.headers[name] = line.substr(name.size() + 2);
    }
    response.body = raw.substr(headEnd + 4);
    return response;
}

// A request as the game sends it.
std::string gameRequest(const std::string &target, const std::string &method = "GET")
{
    return method + " " + target
        + " HTTP/1.0\r\nUser-Agent: Pegsquare HTTPGet\r\nAccept: */*\r\nPragma: no-cache\r\nHost: 127.0.0.1\r\n\r\n";
}

struct ServerFolder {
    TempFolder folder;
    std::string db() const { return (folder.path() / "scores.db").string(); }
    std::vector<std::string> arguments(int port = 0) const
    {
        return {"--port", std::to_string(port), "--db", db(), "--content", (folder.path() / "content").string()};
    }
};

std::string fileText(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Polls until `ready` holds; false when it did not by the deadline.
template <typename Ready>
bool waitFor(Ready ready)
{
    const auto deadline = std::chrono::steady_clock::now() + kWireDeadline;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::size_t lineCount(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(serverProcess, EveryRouteAnswersOverTheWire)
{
    ServerFolder where;
    const std::string installer = installerBytes(200000);
    writeFile(where.folder.path() / "content" / "pegsquare" / "pegsquareversion.txt", "9.9.9\n");
    writeFile(where.folder.path() / "content" / "pegsquare" / "pegsetup.exe", installer);
    // One posting at once, so the second is over the limit.
    std::vector<std::string> arguments = where.arguments();
    arguments.insert(arguments.end(), {"--post-rate", "1", "--post-burst", "1", "--metrics-listen", "0"});
    ServerProcess server(where.folder.path(), arguments);
    const int port = server.waitListening();
    ASSERT_GT(port, 0) << server.log();
    const int metricsPort = server.waitMetrics();
    ASSERT_GT(metricsPort, 0) << server.output();

    struct Row {
        const char *name;
        std::string method;
        std::string target;
        int status;
        std::string type;
        std::string bodyHas; // for GET; a HEAD must have no body at all
    };
    const Row rows[] = {
        {"home", "GET", "/", 200, "text/html; charset=utf-8", "/games/lobby_games/cribbage"},
        {"lobby", "GET", "/games/lobby_games/cribbage", 200, "text/html; charset=utf-8", "/counter/pegsquare.shtml"},
        {"posting", "GET", "/cgi-bin/pegsquare.cgi?name=Wire Jo&date=1/2/26&score=99", 200,
         "text/html; charset=utf-8", "Wire Jo"},
        {"list", "GET", "/counter/pegsquare.shtml", 200, "text/html; charset=utf-8", ">Wire Jo<"},
        {"posting past the limit", "GET", "/cgi-bin/pegsquare.cgi?name=Wire Al&date=1/2/26&score=98", 429,
         "text/plain; charset=utf-8", "try again"},
        {"list, HEAD", "HEAD", "/counter/pegsquare.shtml", 200, "text/html; charset=utf-8", ""},
        {"bad posting", "GET", "/cgi-bin/pegsquare.cgi?name=Al&date=2/30/26&score=1", 400,
         "text/plain; charset=utf-8", "date"},
        {"version", "GET", "/pegsquare/pegsquareversion.txt", 200, "text/plain; charset=utf-8", "9.9.9\n"},
        {"installer", "GET", "/pegsquare/pegsetup.exe", 200, "application/octet-stream", installer},
        {"installer, HEAD", "HEAD", "/pegsquare/pegsetup.exe", 200, "application/octet-stream", ""},
        {"health", "GET", "/healthz", 200, "text/plain; charset=utf-8", "ok\n"},
        {"health, HEAD", "HEAD", "/healthz", 200, "text/plain; charset=utf-8", ""},
        {"unknown path", "GET", "/nope", 404, "text/plain; charset=utf-8", "nothing"},
        {"POST", "POST", "/", 405, "text/plain; charset=utf-8", "GET and HEAD"},
        {"unknown method", "BREW", "/", 405, "text/plain; charset=utf-8", "GET and HEAD"},
    };
    for (const Row &row : rows) {
        Response response = askServer(port, gameRequest(row.target, row.method));
        EXPECT_EQ(response.status, row.status) << row.name;
        EXPECT_EQ(response.headers["content-type"], row.type) << row.name;
        if (row.method == "HEAD") {
            EXPECT_TRUE(response.body.empty()) << row.name;
            EXPECT_GT(std::stol(response.headers["content-length"]), 0) << row.name;
        } else if (row.bodyHas == installer) {
            EXPECT_EQ(response.headers["content-length"], std::to_string(installer.size())) << row.name;
            EXPECT_TRUE(response.body == installer) << row.name;
        } else {
            EXPECT_NE(response.body.find(row.bodyHas), std::string::npos) << row.name << ": " << response.body;
        }
        if (row.status == 405) {
            EXPECT_EQ(response.headers["allow"], "GET, HEAD") << row.name;
        }
        if (row.status == 429) {
            const int seconds = std::stoi(response.headers["retry-after"]);
            EXPECT_TRUE(seconds >= 1 && seconds <= 60) << row.name << ": " << seconds;
        }
    }

    // The metrics count what the rows above did, on their own port.
    const Response metrics = askServer(metricsPort, "GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(metrics.status, 200);
    for (const char *line : {"pegsquare_http_requests_total{route=\"scores\",status=\"200\"} 1\n",
                             "pegsquare_http_requests_total{route=\"scores\",status=\"429\"} 1\n",
                             "pegsquare_http_requests_total{route=\"scores\",status=\"400\"} 1\n",
                             "pegsquare_http_requests_total{route=\"list\",status=\"200\"} 2\n",
                             "pegsquare_http_requests_total{route=\"other\",status=\"405\"} 2\n",
                             "pegsquare_posting_duration_seconds_count 3\n", "pegsquare_commit_batch_size_count 1\n",
                             "pegsquare_refusals_total{limit=\"posting_rate\"} 1\n",
                             "pegsquare_refusals_total{limit=\"connections_total\"} 0\n"}) {
        EXPECT_NE(metrics.body.find(line), std::string::npos) << line << metrics.body;
    }
    const std::size_t bytesAt = metrics.body.find("\npegsquare_database_bytes ");
    ASSERT_NE(bytesAt, std::string::npos) << metrics.body;
    EXPECT_GT(std::stoll(metrics.body.substr(bytesAt + 26)), 0) << metrics.body;

    ASSERT_EQ(server.stop(SIGTERM), 0) << server.log();
    const std::string log = server.log();
    EXPECT_EQ(lineCount(log), std::size(rows)) << log;
    for (const Row &row : rows) {
        std::string target = row.target;
        for (std::size_t at = target.find(' '); at != std::string::npos; at = target.find(' ', at))
            target.replace(at, 1, "%20");
        const std::string fields = " 127.0.0.1 " + row.method + " " + target + " " + std::to_string(row.status) + " ";
        EXPECT_NE(log.find(fields), std::string::npos) << row.name << "\n" << log;
    }
}

TEST(serverProcess, HeadsAreBoundedAndBareLineFeedsEndLines)
{
    ServerFolder where;
    ServerProcess server(where.folder.path(), where.arguments());
    const int port = server.waitListening();
    ASSERT_GT(port, 0) << server.log();
    std::string manyHeaders;
    for (int i = 0; i < 200; ++i)
        manyHeaders += "X-Filler-" + std::to_string(i) + ": y\r\n";
    const struct {
        const char *name;
        std::string request;
        int status;
    } rows[] = {
        {"request line", "GET /" + std::string(20000, 'a') + " HTTP/1.0\r\n\r\n", 414},
        {"one huge header", "GET / HTTP/1.0\r\nX-Big: " + std::string(20000, 'b') + "\r\n\r\n", 431},
        {"many headers", "GET / HTTP/1.0\r\n" + manyHeaders + "\r\n", 431},
        {"body on a GET is not taken for a request", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 18\r\n\r\n"
                                                     "GET /nope HTTP/1.1",
         200},
        {"still serving", gameRequest("/"), 200},
        {"bare LF line ends, a blank in the name",
         "GET /cgi-bin/pegsquare.cgi?name=Lf Jo&date=1/2/26&score=3 HTTP/1.0\nHost: x\n\n", 200},
    };
    for (const auto &row : rows) {
        Response response = askServer(port, row.request);
        EXPECT_EQ(response.status, row.status) << row.name;
        EXPECT_FALSE(response.body.empty()) << row.name;
    }
    EXPECT_EQ(server.stop(SIGINT), 0);
    EXPECT_EQ(lineCount(server.log()), std::size(rows)) << server.log();
}

TEST(serverProcess, ConcurrentPostingsAreEachStoredOnce)
{
    constexpr int kThreads = 8;
    constexpr int kPostings = 25;
    ServerFolder where;
    // All from one address, far faster than any player: the posting limit is off.
    std::vector<std::string> arguments = where.arguments();
    arguments.insert(arguments.end(), {"--post-rate", "0"});
    ServerProcess server(where.folder.path(), arguments);
    const int port = server.waitListening();
    ASSERT_GT(port, 0) << server.log();
    std::vector<std::thread> threads;
    std::vector<int> answered(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int p = 0; p < kPostings; ++p) {
                const std::string query = "name=t" + std::to_string(t) + "p" + std::to_string(p)
                    + "&date=3/4/26&score=" + std::to_string(t * 100 + p);
                answered[t] += askServer(port, gameRequest("/cgi-bin/pegsquare.cgi?" + query)).status == 200;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    ASSERT_EQ(server.stop(), 0);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(answered[t], kPostings) << "thread " << t;

    SqliteScoreTable table(where.db());
    const auto scores = table.bestScores(10 * kThreads * kPostings, 0);
    std::multiset<std::string> names;
    for (const StoredScore &score : scores)
        names.insert(score.name + "=" + std::to_string(score.score));
    EXPECT_EQ(scores.size(), static_cast<std::size_t>(kThreads * kPostings));
    for (int t = 0; t < kThreads; ++t)
        for (int p = 0; p < kPostings; ++p)
            EXPECT_EQ(names.count("t" + std::to_string(t) + "p" + std::to_string(p) + "="
                                  + std::to_string(t * 100 + p)),
                      1u);
}

TEST(serverProcess, RestartKeepsTheScores)
{
    ServerFolder where;
    {
        ServerProcess first(where.folder.path(), where.arguments());
        const int port = first.waitListening();
        ASSERT_GT(port, 0) << first.log();
        ASSERT_EQ(askServer(port, gameRequest("/cgi-bin/pegsquare.cgi?name=Kept&date=1/1/26&score=7")).status, 200);
        ASSERT_EQ(first.stop(), 0);
    }
    ServerProcess second(where.folder.path(), where.arguments());
    const int port = second.waitListening();
    ASSERT_GT(port, 0) << second.log();
    EXPECT_NE(askServer(port, gameRequest("/counter/pegsquare.shtml")).body.find(">Kept<"), std::string::npos);
    EXPECT_EQ(second.stop(), 0);
}

TEST(serverProcess, StartFailuresEndWithTheirStatus)
{
    ServerFolder where;
    ServerProcess holder(where.folder.path(), where.arguments());
    const int port = holder.waitListening();
    ASSERT_GT(port, 0) << holder.log();
    const struct {
        const char *name;
        std::vector<std::string> arguments;
        int status;
        std::string says; // on standard error, or standard output for --help
    } rows[] = {
        {"port in use", where.arguments(port), 1, "cannot listen"},
        {"database folder missing", {"--port", "0", "--db", (where.folder.path() / "no" / "s.db").string()}, 1,
         "score database"},
        {"log folder missing",
         {"--port", "0", "--db", where.db(), "--log", (where.folder.path() / "no" / "a.log").string()}, 1,
         "cannot open the log file"},
        {"unknown argument", {"--bogus"}, 2, "unknown argument"},
        {"bad port", {"--port", "http"}, 2, "--port"},
        {"help", {"--help"}, 0, "Usage: pegsquare-server"},
    };
    for (const auto &row : rows) {
        ServerProcess failing(where.folder.path(), row.arguments);
        EXPECT_EQ(failing.stop(0), row.status) << row.name;
        const std::string said = row.status == 0 ? failing.output() : failing.log();
        EXPECT_NE(said.find(row.says), std::string::npos) << row.name << ": " << said;
    }
    EXPECT_EQ(holder.stop(), 0);
}

TEST(serverProcess, HangUpReopensTheLogFileAndNeverStopsTheServer)
{
    const struct {
        const char *name;
        bool logFile; // with --log, rotated away before the SIGHUP
    } rows[] = {{"with --log", true}, {"without --log", false}};
    for (const auto &row : rows) {
        ServerFolder where;
        const std::filesystem::path logPath = where.folder.path() / "access.log";
        const std::filesystem::path rotated = where.folder.path() / "access.log.1";
        std::vector<std::string> arguments = where.arguments();
        if (row.logFile)
            arguments.insert(arguments.end(), {"--log", logPath.string()});
        ServerProcess server(where.folder.path(), arguments);
        const int port = server.waitListening();
        ASSERT_GT(port, 0) << row.name << ": " << server.log();

        EXPECT_EQ(askServer(port, gameRequest("/counter/pegsquare.shtml")).status, 200) << row.name;
        if (row.logFile)
            std::filesystem::rename(logPath, rotated);
        server.signal(SIGHUP);
        if (row.logFile) {
            ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(logPath); })) << row.name << ": not reopened";
        }
        EXPECT_EQ(askServer(port, gameRequest("/healthz")).status, 200) << row.name;

        const std::string first = " GET /counter/pegsquare.shtml 200 ";
        const std::string second = " GET /healthz 200 ";
        if (row.logFile) {
            EXPECT_TRUE(waitFor([&] { return fileText(logPath).find(second) != std::string::npos; }))
                << row.name << ": " << fileText(logPath);
            const std::string old = fileText(rotated);
            EXPECT_EQ(lineCount(old), 1u) << row.name << ": " << old;
            EXPECT_NE(old.find(first), std::string::npos) << row.name << ": " << old;
            EXPECT_EQ(fileText(logPath).find(first), std::string::npos) << row.name;
            // Players' addresses are in it: nobody outside the owner's group may read it.
            const auto perms = std::filesystem::status(logPath).permissions();
            EXPECT_EQ(perms & std::filesystem::perms::others_all, std::filesystem::perms::none) << row.name;
        }
        ASSERT_EQ(server.stop(), 0) << row.name << ": " << server.log();
        const std::string standardError = server.log();
        EXPECT_EQ(standardError.find(first) != std::string::npos, !row.logFile) << row.name << ": " << standardError;
        EXPECT_EQ(standardError.find(second) != std::string::npos, !row.logFile) << row.name << ": " << standardError;
    }
}

} // namespace
