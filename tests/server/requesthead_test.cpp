#include "accesslog.h"
#include "options.h"
#include "requesthead.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>

namespace {

std::string headWith(const std::string &headers, const std::string &line = "GET / HTTP/1.1")
{
    return line + "\r\n" + headers + "\r\n";
}

// `head` with every CR LF written as a bare LF.
std::string bareLf(std::string head)
{
    for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at))
        head.erase(at, 1);
    return head;
}

TEST(serverHead, ScanMeasuresTheHeadBeforeHttplibReadsIt)
{
    const HeadLimits limits; // 4096-byte line, 8192 header bytes, 64 lines
    struct Row {
        const char *name;
        std::string bytes;
        HeadState state;
        bool body = false;
        bool close = false;
    };
    const std::string longest = "GET /" + std::string(4096 - 14, 'a') + " HTTP/1.1";
    const Row rows[] = {
        {"no headers", headWith(""), HeadState::Complete},
        {"not ended yet", "GET / HTTP/1.1\r\nHost: x\r\n", HeadState::Incomplete},
        {"request line not ended yet", "GET /abc", HeadState::Incomplete},
        {"longest request line", headWith("", longest), HeadState::Complete},
        {"request line one byte too long", headWith("", longest + "a"), HeadState::RequestLineTooLong},
        {"unended request line too long", std::string(5000, 'a'), HeadState::RequestLineTooLong},
        {"one huge header", headWith("X-Big: " + std::string(9000, 'b') + "\r\n"), HeadState::HeadersTooLarge},
        {"unended huge header", "GET / HTTP/1.1\r\nX: " + std::string(9000, 'b'), HeadState::HeadersTooLarge},
        {"64 headers", headWith([] { std::string h; for (int i = 0; i < 64; ++i) h += "X: y\r\n"; return h; }()),
         HeadState::Complete},
        {"65 headers", headWith([] { std::string h; for (int i = 0; i < 65; ++i) h += "X: y\r\n"; return h; }()),
         HeadState::HeadersTooLarge},
        {"content length", headWith("Content-Length: 5\r\n"), HeadState::Complete, true},
        {"zero content length", headWith("content-length:  0 \r\n"), HeadState::Complete, false},
        {"chunked", headWith("Transfer-Encoding: chunked\r\n"), HeadState::Complete, true},
        {"HTTP/1.0 closes", headWith("", "GET / HTTP/1.0"), HeadState::Complete, false, true},
        {"HTTP/1.0 keep-alive", headWith("Connection: Keep-Alive\r\n", "GET / HTTP/1.0"), HeadState::Complete},
        {"HTTP/1.1 close", headWith("Connection: close\r\n"), HeadState::Complete, false, true},
        {"bare LF line ends", bareLf(headWith("Host: x\r\nContent-Length: 5\r\n")), HeadState::Complete, true},
        {"bare LF blank line after CR LF lines", "GET / HTTP/1.1\r\nHost: x\r\n\n", HeadState::Complete},
        {"CR LF blank line after bare LF lines", "GET / HTTP/1.1\nHost: x\n\r\n", HeadState::Complete},
        {"bare LF, not ended yet", "GET / HTTP/1.1\nHost: x\n", HeadState::Incomplete},
        {"bare LF, HTTP/1.0 closes", bareLf(headWith("", "GET / HTTP/1.0")), HeadState::Complete, false, true},
        {"bare LF, longest request line", bareLf(headWith("", longest)), HeadState::Complete},
        {"bare LF, request line one byte too long", bareLf(headWith("", longest + "a")),
         HeadState::RequestLineTooLong},
        {"header bytes at the bound", headWith("X: " + std::string(8190 - 3, 'b') + "\r\n"), HeadState::Complete},
        // Mended to CR LF, it would be one byte over.
        {"bare LF, header bytes one past the bound", bareLf(headWith("X: " + std::string(8191 - 3, 'b') + "\r\n")),
         HeadState::HeadersTooLarge},
    };
    for (const Row &row : rows) {
        const HeadScan scan = scanRequestHead(row.bytes, limits);
        EXPECT_EQ(scan.state, row.state) << row.name;
        if (row.state != HeadState::Complete)
            continue;
        EXPECT_EQ(scan.length, row.bytes.size()) << row.name;
        EXPECT_EQ(scan.declaresBody, row.body) << row.name;
        EXPECT_EQ(scan.wantsClose, row.close) << row.name;
    }
    // What follows the head (a body, the next request) is not part of it.
    EXPECT_EQ(scanRequestHead(headWith("") + "GET /next", limits).length, headWith("").size());
}

TEST(serverHead, MendEscapesBlanksInTheTargetAndDropsRangesAndBodies)
{
    struct Row {
        const char *name;
        std::string head;
        std::optional<std::string> mended;
    };
    const Row rows[] = {
        {"nothing to mend", headWith("Host: x\r\n"), std::nullopt},
        {"blanks in a name", headWith("", "GET /p?name= Jo  Smith&score=5 HTTP/1.0"),
         headWith("", "GET /p?name=%20Jo%20%20Smith&score=5 HTTP/1.0")},
        {"range dropped", headWith("Host: x\r\nrange: bytes=0-1\r\nAccept: */*\r\n"),
         headWith("Host: x\r\nAccept: */*\r\n")},
        {"a declared body is not waited for", headWith("Host: x\r\nContent-Length: 9\r\ntransfer-encoding: chunked\r\n"),
         headWith("Host: x\r\n")},
        {"no version left alone", "GET /a b\r\n\r\n", std::nullopt},
        {"bare LF line ends become CR LF", bareLf(headWith("Host: x\r\n")), headWith("Host: x\r\n")},
        {"mixed line ends become CR LF", "GET / HTTP/1.1\nHost: x\r\nAccept: */*\n\r\n",
         headWith("Host: x\r\nAccept: */*\r\n")},
        {"bare LF with blanks and a range", bareLf(headWith("Range: bytes=0-1\r\nHost: x\r\n", "GET /p?n=a b HTTP/1.0")),
         headWith("Host: x\r\n", "GET /p?n=a%20b HTTP/1.0")},
    };
    for (const Row &row : rows)
        EXPECT_EQ(mendRequestHead(row.head), row.mended) << row.name;
}

// The heads the server reads itself, without httplib: anything it would
// read differently is left to httplib.
TEST(serverHead, APlainHeadIsReadAndAnOddOneLeftToHttplib)
{
    struct Row {
        const char *name;
        std::string head;
        bool plain;
        const char *target = "";
        const char *forwardedFor = "";
    };
    const Row rows[] = {
        {"posting", headWith("Host: x\r\n", "GET /p?n=a HTTP/1.1"), true, "/p?n=a"},
        {"forwarded lists joined in order, blanks trimmed, names in any case",
         headWith("X-Forwarded-For:  10.0.0.1, 10.0.0.2 \r\nHost: x\r\nx-forwarded-for:\t10.0.0.3\r\n"), true, "/",
         "10.0.0.1, 10.0.0.2,10.0.0.3"},
        {"two blanks in the request line", headWith("", "GET  /p HTTP/1.1"), false},
        {"four parts", headWith("", "GET /p HTTP/1.1 x"), false},
        {"no version", "GET /p\r\n\r\n", false},
        {"header without a colon", headWith("Host x\r\n"), false},
        {"blank before the colon", headWith("X-Forwarded-For : 10.0.0.1\r\n"), false},
        {"empty name", headWith(": x\r\n"), false},
        {"no blank line", "GET / HTTP/1.1\r\nHost: x\r\n", false},
    };
    for (const Row &row : rows) {
        const std::optional<PlainHead> read = readPlainHead(row.head);
        ASSERT_EQ(read.has_value(), row.plain) << row.name;
        if (!read)
            continue;
        EXPECT_EQ(read->target, row.target) << row.name;
        EXPECT_EQ(read->forwardedFor, row.forwardedFor) << row.name;
    }
}

TEST(serverOptions, ArgumentsAreReadOrRefused)
{
    using Outcome = ParsedArguments::Outcome;
    struct Row {
        const char *name;
        std::vector<std::string> arguments;
        Outcome outcome;
        ServerOptions options = {};
    };
    const Row rows[] = {
        {"defaults", {}, Outcome::Run, {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", ""}},
        {"every option",
         {"--listen", "::1", "--port", "0", "--db", "a.db", "--content", "c", "--log", "l.log", "--max-db-mb", "5"},
         Outcome::Run, {"::1", 0, "a.db", "c", "", "l.log", 5}},
        {"no size limit", {"--max-db-mb", "0"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 0}},
        {"size limit past a tebibyte", {"--max-db-mb", "1048577"}, Outcome::Error},
        {"size limit in bytes", {"--max-db-mb", "5G"}, Outcome::Error},
        {"public address, trailing slashes dropped", {"--public-url", "http://scores.example.com//"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "http://scores.example.com", ""}},
        {"public address without a scheme", {"--public-url", "scores.example.com"}, Outcome::Error},
        {"public address with markup", {"--public-url", "http://a\"><b>"}, Outcome::Error},
        {"values after =", {"--port=65535", "--db=x=y.db"}, Outcome::Run,
         {"127.0.0.1", 65535, "x=y.db", "content", "", ""}},
        {"later wins", {"--port", "1", "--port", "2"}, Outcome::Run,
         {"127.0.0.1", 2, "pegsquare-scores.db", "content", "", ""}},
        {"posting limit", {"--post-rate", "30", "--post-burst=1"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 30, 1}},
        {"posting limit off", {"--post-rate", "0"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 0}},
        {"burst of none", {"--post-burst", "0"}, Outcome::Error},
        {"negative rate", {"--post-rate", "-1"}, Outcome::Error},
        {"rate past a million", {"--post-rate", "1000001"}, Outcome::Error},
        {"trusted proxies, repeated and listed, written the one way", {"--trusted-proxy", "10.0.0.5,0:0::1",
         "--trusted-proxy=192.0.2.1"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 6, 12, {"10.0.0.5", "::1", "192.0.2.1"}}},
        {"trusted proxy by name", {"--trusted-proxy", "proxy.example.com"}, Outcome::Error},
        {"trusted proxy list with a hole", {"--trusted-proxy", "10.0.0.5,,::1"}, Outcome::Error},
        {"list cap", {"--list-per-client=3"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 6, 12, {}, 3}},
        {"list cap off", {"--list-per-client", "0"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 6, 12, {}, 0}},
        {"negative list cap", {"--list-per-client", "-1"}, Outcome::Error},
        {"list cap in words", {"--list-per-client", "five"}, Outcome::Error},
        {"list cap past a thousand", {"--list-per-client", "1001"}, Outcome::Error},
        {"connection bounds and metrics", {"--max-connections=50", "--max-connections-per-address", "2",
         "--metrics-listen", "[::1]:9100"}, Outcome::Run,
         {"127.0.0.1", 8080, "pegsquare-scores.db", "content", "", "", 1024, 6, 12, {}, 5, 50, 2,
          std::pair<std::string, int>("::1", 9100)}},
        {"no connections at all", {"--max-connections", "0"}, Outcome::Error},
        {"metrics on a port name", {"--metrics-listen", "localhost:http"}, Outcome::Error},
        {"help", {"--port", "1", "--help"}, Outcome::Help},
        {"unknown option", {"--verbose"}, Outcome::Error},
        {"stray word", {"serve"}, Outcome::Error},
        {"missing value", {"--port"}, Outcome::Error},
        {"empty value", {"--db="}, Outcome::Error},
        {"port too large", {"--port", "65536"}, Outcome::Error},
        {"negative port", {"--port", "-1"}, Outcome::Error},
        {"port with a letter", {"--port", "80a"}, Outcome::Error},
        {"port too long", {"--port", "0000080"}, Outcome::Error},
        {"a PostgreSQL database and its connections", {"--db", "postgresql://pegsquare@db/scores", "--db-connections", "3"},
         Outcome::Run, [] {
             ServerOptions options;
             options.databasePath = "postgresql://pegsquare@db/scores";
             options.databaseConnections = 3;
             return options;
         }()},
        {"no connections", {"--db-connections", "0"}, Outcome::Error},
        {"more connections than a database serves", {"--db-connections", "257"}, Outcome::Error},
        {"scores copied from SQLite into PostgreSQL", {"--migrate-from", "sqlite:old=1.db", "--db", "postgres://db/s"},
         Outcome::Run, [] {
             ServerOptions options;
             options.databasePath = "postgres://db/s";
             options.migrateFrom = "sqlite:old=1.db";
             return options;
         }()},
        {"scores copied from a path without sqlite:", {"--migrate-from", "old.db", "--db", "postgres://db/s"},
         Outcome::Error},
        {"scores copied into the default SQLite file", {"--migrate-from", "sqlite:old.db"}, Outcome::Error},
    };
    for (const Row &row : rows) {
        const ParsedArguments parsed = parseArguments(row.arguments);
        EXPECT_EQ(parsed.outcome, row.outcome) << row.name;
        if (row.outcome == Outcome::Error) {
            EXPECT_FALSE(parsed.error.empty()) << row.name;
        }
        if (row.outcome != Outcome::Run)
            continue;
        EXPECT_EQ(parsed.options.listen, row.options.listen) << row.name;
        EXPECT_EQ(parsed.options.port, row.options.port) << row.name;
        EXPECT_EQ(parsed.options.databasePath, row.options.databasePath) << row.name;
        EXPECT_EQ(parsed.options.contentFolder, row.options.contentFolder) << row.name;
        EXPECT_EQ(parsed.options.publicUrl, row.options.publicUrl) << row.name;
        EXPECT_EQ(parsed.options.logPath, row.options.logPath) << row.name;
        EXPECT_EQ(parsed.options.maxDatabaseMiB, row.options.maxDatabaseMiB) << row.name;
        EXPECT_EQ(parsed.options.postRate, row.options.postRate) << row.name;
        EXPECT_EQ(parsed.options.postBurst, row.options.postBurst) << row.name;
        EXPECT_EQ(parsed.options.trustedProxies, row.options.trustedProxies) << row.name;
        EXPECT_EQ(parsed.options.listPerClient, row.options.listPerClient) << row.name;
        EXPECT_EQ(parsed.options.maxConnections, row.options.maxConnections) << row.name;
        EXPECT_EQ(parsed.options.maxConnectionsPerAddress, row.options.maxConnectionsPerAddress) << row.name;
        EXPECT_EQ(parsed.options.metricsListen, row.options.metricsListen) << row.name;
        EXPECT_EQ(parsed.options.databaseConnections, row.options.databaseConnections) << row.name;
        EXPECT_EQ(parsed.options.migrateFrom, row.options.migrateFrom) << row.name;
    }
}

TEST(serverLog, EachRequestIsOneLineOfSixFields)
{
    // 2026-08-12T09:05:03.042Z
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1786525503042LL));
    struct Row {
        const char *name;
        AccessRecord record;
        std::string line;
    };
    const Row rows[] = {
        {"plain", {"127.0.0.1", "GET", "/counter/pegsquare.shtml", 200, 1234},
         "2026-08-12T09:05:03.042Z 127.0.0.1 GET /counter/pegsquare.shtml 200 1234"},
        {"line breaks, blanks and escapes written as bytes", {"::1", "GET", "/a b\r\n\x1b[2J\\", 404, 9},
         "2026-08-12T09:05:03.042Z ::1 GET /a\\x20b\\x0D\\x0A\\x1B[2J\\x5C 404 9"},
        {"nothing known", {"", "", "", 400, 0}, "2026-08-12T09:05:03.042Z - - - 400 0"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(accessLogLine(when, row.record), row.line) << row.name;
}

std::string fileText(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(serverLog, RotatingWhileRequestsAreLoggedLosesAndTearsNoLine)
{
    constexpr int kWriters = 4;
    constexpr int kLines = 1000;
    TempFolder folder;
    const std::filesystem::path path = folder.path() / "access.log";
    AccessLog log(path.string());
    std::atomic<int> running{kWriters};
    std::vector<std::thread> writers;
    writers.reserve(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kLines; ++i)
                log.write({"127.0.0.1", "GET", "/w" + std::to_string(w) + "/" + std::to_string(i), 200, 5});
            --running;
        });
    }
    int rotations = 0;
    while (running > 0) {
        std::filesystem::rename(path, folder.path() / ("rotated." + std::to_string(++rotations)));
        ASSERT_TRUE(log.reopen());
    }
    for (std::thread &writer : writers)
        writer.join();

    std::set<std::string> targets;
    std::size_t lines = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder.path())) {
        std::istringstream text(fileText(entry.path()));
        for (std::string line; std::getline(text, line); ++lines) {
            // A whole line: the 24-character time, then the fields of one request.
            const bool whole = line.find(" 127.0.0.1 GET /w") == 24 && line.ends_with(" 200 5");
            EXPECT_TRUE(whole) << entry.path() << ": torn line \"" << line << "\"";
            if (whole)
                targets.insert(line.substr(39, line.size() - 6 - 39));
        }
    }
    EXPECT_EQ(lines, std::size_t{kWriters * kLines}) << rotations << " rotations";
    EXPECT_EQ(targets.size(), std::size_t{kWriters * kLines}) << rotations << " rotations";
}

TEST(serverLog, AReopenThatFailsKeepsWritingToTheOpenFile)
{
    TempFolder folder;
    std::filesystem::create_directories(folder.path() / "logs");
    AccessLog log((folder.path() / "logs" / "access.log").string());
    // The log's folder is gone from under its name, so no new file can be made there.
    std::filesystem::rename(folder.path() / "logs", folder.path() / "moved");
    EXPECT_FALSE(log.reopen());
    log.write({"127.0.0.1", "GET", "/after", 200, 1});
    const std::string kept = fileText(folder.path() / "moved" / "access.log");
    EXPECT_NE(kept.find("pegsquare-server: cannot reopen the log file"), std::string::npos) << kept;
    EXPECT_NE(kept.find(" GET /after 200 1\n"), std::string::npos) << kept;
}

} // namespace
