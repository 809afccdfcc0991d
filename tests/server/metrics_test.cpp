#include "metrics.h"
#include "metricsserver.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <charconv>
#include <functional>
#include <latch>
#include <locale>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Limit = ServerMetrics::Limit;

// The samples of an exposition by series ("name{labels}"), or the first thing
// wrong with the text: a line that is neither a comment nor a sample, a sample
// of a family with no TYPE before it, a value Prometheus could not parse, a
// series given twice, or a missing final newline.
struct Exposition {
    std::map<std::string, std::string> samples;
    std::string problem;
};

Exposition parseExposition(const std::string &text)
{
    Exposition parsed;
    if (text.empty() || text.back() != '\n') {
        parsed.problem = "the text does not end with a newline";
        return parsed;
    }
    std::set<std::string> typed;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("# HELP "))
            continue;
        if (line.starts_with("# TYPE ")) {
            typed.insert(line.substr(7, line.find(' ', 7) - 7));
            continue;
        }
        const std::size_t space = line.rfind(' ');
        if (space == std::string::npos || line.starts_with('#')) {
            parsed.problem = "not a sample: " + line;
            return parsed;
        }
        const std::string series = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        std::string family = series.substr(0, series.find('{'));
        for (const char *suffix : {"_bucket", "_sum", "_count"})
            if (!typed.contains(family) && family.ends_with(suffix))
                family.resize(family.size() - std::string_view(suffix).size());
        double number = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (!typed.contains(family))
            parsed.problem = "no TYPE before " + line;
        else if (value != "+Inf" && (error != std::errc() || end != value.data() + value.size()))
            parsed.problem = "unparsable value in " + line;
        else if (!parsed.samples.emplace(series, value).second)
            parsed.problem = "series given twice: " + series;
        if (!parsed.problem.empty())
            return parsed;
    }
    return parsed;
}

// A decimal comma and digit grouping, as in many European locales, made the
// global locale for a test so any formatting that follows it shows up.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GlobalLocale {
public:
    GlobalLocale() : m_previous(std::locale::global(std::locale(std::locale::classic(), new CommaNumbers))) {}
    ~GlobalLocale() { std::locale::global(m_previous); }

private:
    std::locale m_previous;
};

std::string bucket(std::string_view name, std::string_view le)
{
    return std::string(name) + "_bucket{le=\"" + std::string(le) + "\"}";
}

std::string requests(std::string_view route, std::string_view status)
{
    return "pegsquare_http_requests_total{route=\"" + std::string(route) + "\",status=\"" + std::string(status) + "\"}";
}

std::string refusals(std::string_view limit)
{
    return "pegsquare_refusals_total{limit=\"" + std::string(limit) + "\"}";
}

constexpr std::string_view kPosting = "pegsquare_posting_duration_seconds";
constexpr std::string_view kBatch = "pegsquare_commit_batch_size";

TEST(serverMetrics, TheTextCountsWhatWasObserved)
{
    const GlobalLocale commas;
    struct Case {
        const char *name;
        std::function<void(ServerMetrics &)> update;
        std::vector<std::pair<std::string, std::string>> expected;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {"nothing yet: every limit and gauge at zero, no request series, no database size without a source",
         [](ServerMetrics &) {},
         {{refusals("posting_rate"), "0"}, {refusals("connections_per_address"), "0"},
          {refusals("connections_total"), "0"}, {refusals("database_full"), "0"}, {refusals("head_too_large"), "0"},
          {"pegsquare_open_connections", "0"}, {bucket(kPosting, "+Inf"), "0"},
          {std::string(kPosting) + "_count", "0"}, {std::string(kPosting) + "_sum", "0"},
          {bucket(kBatch, "1"), "0"}, {std::string(kBatch) + "_count", "0"}},
         {requests("list", "200"), "pegsquare_database_bytes"}},
        {"requests by route and status; unknown routes and statuses fall under other",
         [](ServerMetrics &m) {
             for (int i = 0; i < 1234; ++i)
                 m.countRequest("list", 200);
             m.countRequest("scores", 429);
             m.countRequest("list", 404);
             m.countRequest("/etc/passwd\"}", 200);
             m.countRequest("health", 99);
             m.countRequest("health", 600);
             m.countRequest("version", 100);
             m.countRequest("version", 599);
         },
         {{requests("list", "200"), "1234"}, {requests("scores", "429"), "1"}, {requests("list", "404"), "1"},
          {requests("other", "200"), "1"}, {requests("health", "other"), "2"}, {requests("version", "100"), "1"},
          {requests("version", "599"), "1"}},
         {requests("scores", "200"), requests("health", "99"), requests("health", "600")}},
        {"posting durations: cumulative buckets, a time on a bound counted in it, a negative time as zero",
         [](ServerMetrics &m) {
             m.observePosting(-5ms);
             m.observePosting(1ms);
             m.observePosting(3ms);
             m.observePosting(2s);
             m.observePosting(10s);
             m.observePosting(1ns);
         },
         {{bucket(kPosting, "0.0005"), "2"}, {bucket(kPosting, "0.001"), "3"}, {bucket(kPosting, "0.0025"), "3"},
          {bucket(kPosting, "0.005"), "4"}, {bucket(kPosting, "1"), "4"}, {bucket(kPosting, "2.5"), "5"},
          {bucket(kPosting, "+Inf"), "6"}, {std::string(kPosting) + "_count", "6"},
          {std::string(kPosting) + "_sum", "12.004000001"}},
         {}},
        {"commit batch sizes: cumulative buckets up to 512 and above",
         [](ServerMetrics &m) {
             for (std::size_t size : {1, 3, 4, 512, 513, 100000})
                 m.observeBatch(size);
         },
         {{bucket(kBatch, "1"), "1"}, {bucket(kBatch, "2"), "1"}, {bucket(kBatch, "4"), "3"},
          {bucket(kBatch, "256"), "3"}, {bucket(kBatch, "512"), "4"}, {bucket(kBatch, "+Inf"), "6"},
          {std::string(kBatch) + "_count", "6"}, {std::string(kBatch) + "_sum", "101033"}},
         {}},
        {"gauges: the database size read when rendering, open connections never below zero",
         [](ServerMetrics &m) {
             m.setDatabaseBytesSource([] { return std::uint64_t{123456789012}; });
             m.connectionClosed();
             for (int i = 0; i < 3; ++i)
                 m.connectionOpened();
             m.connectionClosed();
         },
         {{"pegsquare_database_bytes", "123456789012"}, {"pegsquare_open_connections", "2"}},
         {}},
        {"a database size that cannot be read is left out, not given as zero",
         [](ServerMetrics &m) {
             m.setDatabaseBytesSource([]() -> std::uint64_t { throw std::runtime_error("gone"); });
         },
         {},
         {"pegsquare_database_bytes"}},
        {"refusals by limit, the others still at zero",
         [](ServerMetrics &m) {
             m.countRefusal(Limit::DatabaseFull);
             m.countRefusal(Limit::DatabaseFull);
             m.countRefusal(Limit::HeadTooLarge);
         },
         {{refusals("database_full"), "2"}, {refusals("head_too_large"), "1"}, {refusals("posting_rate"), "0"},
          {refusals("connections_per_address"), "0"}, {refusals("connections_total"), "0"}},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ServerMetrics metrics;
        c.update(metrics);
        const std::string text = metrics.render();
        const Exposition parsed = parseExposition(text);
        ASSERT_EQ(parsed.problem, "") << text;
        for (const auto &[series, value] : c.expected) {
            const auto found = parsed.samples.find(series);
            ASSERT_NE(found, parsed.samples.end()) << series << " missing from\n" << text;
            EXPECT_EQ(found->second, value) << series;
        }
        for (const std::string &series : c.absent)
            EXPECT_FALSE(parsed.samples.contains(series)) << series << " in\n" << text;
    }
}

TEST(serverMetrics, TheDatabaseSourceGivenAtConstructionIsReadAtEachRendering)
{
    std::atomic<std::uint64_t> bytes{4096};
    ServerMetrics metrics([&] { return bytes.load(); });
    EXPECT_EQ(parseExposition(metrics.render()).samples["pegsquare_database_bytes"], "4096");
    bytes = 8192;
    EXPECT_EQ(parseExposition(metrics.render()).samples["pegsquare_database_bytes"], "8192");
}

TEST(serverMetrics, UpdatesFromManyThreadsAllCountAndRenderingMeanwhileStaysConsistent)
{
    constexpr int kThreads = 8;
    constexpr int kEach = 50000;
    ServerMetrics metrics;
    std::atomic<bool> done{false};
    std::string readerProblem;
    std::thread reader([&] {
        std::uint64_t lastCount = 0;
        while (!done && readerProblem.empty()) {
            Exposition parsed = parseExposition(metrics.render());
            if (!parsed.problem.empty()) {
                readerProblem = parsed.problem;
                break;
            }
            const std::string count = parsed.samples[std::string(kPosting) + "_count"];
            const std::uint64_t now = std::stoull(count);
            if (count != parsed.samples[bucket(kPosting, "+Inf")])
                readerProblem = "_count " + count + " is not the +Inf bucket";
            else if (now < lastCount)
                readerProblem = "_count went back";
            lastCount = now;
        }
    });
    std::latch start(kThreads);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        // Each update in a tight loop of its own, all threads let go at
        // once, so that updates that are not atomic collide and get lost.
        writers.emplace_back([&metrics, &start] {
            start.arrive_and_wait();
            for (int i = 0; i < kEach; ++i)
                metrics.countRequest("list", 200);
            for (int i = 0; i < kEach; ++i)
                metrics.countRefusal(Limit::PostingRate);
            for (int i = 0; i < kEach; ++i)
                metrics.connectionOpened();
            for (int i = 1; i < kEach; ++i)
                metrics.connectionClosed();
            for (int i = 0; i < kEach; ++i) {
                metrics.observePosting(1ms);
                metrics.observeBatch(3);
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    done = true;
    reader.join();
    EXPECT_EQ(readerProblem, "");

    const Exposition parsed = parseExposition(metrics.render());
    const std::string total = std::to_string(kThreads * kEach);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {requests("list", "200"), total},
        {bucket(kPosting, "0.0005"), "0"},
        {bucket(kPosting, "0.001"), total},
        {std::string(kPosting) + "_count", total},
        {std::string(kPosting) + "_sum", std::to_string(kThreads * kEach / 1000)},
        {bucket(kBatch, "2"), "0"},
        {bucket(kBatch, "4"), total},
        {std::string(kBatch) + "_sum", std::to_string(3 * kThreads * kEach)},
        {refusals("posting_rate"), total},
        {"pegsquare_open_connections", std::to_string(kThreads)},
    };
    for (const auto &[series, value] : expected)
        EXPECT_EQ(parsed.samples.count(series) ? parsed.samples.at(series) : "(missing)", value) << series;
}

TEST(serverMetrics, LabelValuesAreEscaped)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"list", "list"},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"\\\"\n", "\\\\\\\"\\n"},
    };
    for (const auto &[raw, escaped] : cases)
        EXPECT_EQ(escapeLabelValue(raw), escaped) << raw;
}

TEST(serverMetrics, TheListenAddressIsAPortOrAHostAndPort)
{
    using Address = std::optional<std::pair<std::string, int>>;
    const std::vector<std::pair<std::string, Address>> cases = {
        {"9100", std::pair<std::string, int>("127.0.0.1", 9100)},
        {"0", std::pair<std::string, int>("127.0.0.1", 0)},
        {"65535", std::pair<std::string, int>("127.0.0.1", 65535)},
        {"0.0.0.0:9100", std::pair<std::string, int>("0.0.0.0", 9100)},
        {"localhost:1", std::pair<std::string, int>("localhost", 1)},
        {"metrics.example-host.internal:0", std::pair<std::string, int>("metrics.example-host.internal", 0)},
        {"[::1]:9100", std::pair<std::string, int>("::1", 9100)},
        {"[::]:65535", std::pair<std::string, int>("::", 65535)},
        {"[fe80::1%eth0]:9100", std::pair<std::string, int>("fe80::1%eth0", 9100)},
        {"", std::nullopt},
        {":", std::nullopt},
        {":9100", std::nullopt},
        {"localhost", std::nullopt},
        {"localhost:", std::nullopt},
        {"localhost:http", std::nullopt},
        {"localhost:91a", std::nullopt},
        {"65536", std::nullopt},
        {"localhost:65536", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"[::1]:18446744073709551617", std::nullopt},
        {"-1", std::nullopt},
        {"+80", std::nullopt},
        {" 9100", std::nullopt},
        {"9100 ", std::nullopt},
        {"::1:9100", std::nullopt},
        {"[::1]", std::nullopt},
        {"[::1]9100", std::nullopt},
        {"[::1]:", std::nullopt},
        {"[]:80", std::nullopt},
        {"[localhost]:80", std::nullopt},
        {"[::1:80", std::nullopt},
        {"[fe80::1%]:80", std::nullopt},
        {"a b:80", std::nullopt},
        {"host\n:80", std::nullopt},
        {"host:80:81", std::nullopt},
        {std::string("host\0:80", 8), std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseListenAddress(text), expected) << "\"" << text << "\"";
}

TEST(serverMetrics, TheListenerServesOnlyTheMetricsPath)
{
    ServerMetrics metrics;
    metrics.countRequest("scores", 200);
    MetricsServer server(metrics);
    const int port = server.bind("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    server.start();

    MetricsServer rival(metrics);
    EXPECT_EQ(rival.bind("127.0.0.1", port), -1) << "a second listener shared the port";

    struct Case {
        const char *request;
        const char *statusLine;
        bool metricsBody;
        bool emptyBody;
    };
    const Case cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n", true, false},
        {"GET /metrics?name[]=x HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n", true, false},
        {"HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n", false, true},
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false, false},
        {"GET /metrics/ HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false, false},
        {"GET /scores HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false, false},
        {"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request);
        const UniqueFd connection = connectLoopback(port, c.request);
        ASSERT_TRUE(connection.valid());
        // One request a connection, so the answer ends where the connection does.
        const auto answer = readUntil(connection.get());
        ASSERT_TRUE(answer.has_value()) << "no answer, or the connection was kept open";
        const std::size_t headEnd = answer->find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos) << *answer;
        const std::string head = answer->substr(0, headEnd + 2);
        const std::string body = answer->substr(headEnd + 4);
        EXPECT_TRUE(head.starts_with(c.statusLine)) << head;
        if (c.metricsBody) {
            EXPECT_NE(head.find("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"), std::string::npos)
                << head;
            EXPECT_EQ(body, metrics.render());
        } else {
            EXPECT_EQ(body.find("pegsquare_"), std::string::npos) << body;
        }
        if (c.emptyBody) {
            EXPECT_EQ(body, "");
        }
    }
    server.stop();
    EXPECT_FALSE(connectLoopback(port).valid()) << "still listening after stop()";
}

TEST(serverMetrics, AListenerStoppedAtOnceOrNeverStartedEndsCleanly)
{
    const ServerMetrics metrics;
    for (int round = 0; round < 20; ++round) {
        MetricsServer server(metrics);
        ASSERT_GT(server.bind("127.0.0.1", 0), 0);
        server.start();
        server.stop(); // before the accept loop may have begun: must not wait forever
        server.stop();
    }
    MetricsServer unstarted(metrics);
    EXPECT_GT(unstarted.bind("127.0.0.1", 0), 0);
    MetricsServer unbound(metrics);
    unbound.start();
}

} // namespace
