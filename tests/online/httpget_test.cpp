// THTTPGet against raw loopback servers: the bytes of the request, how the
// URL is taken apart, body and progress delivery, what counts as failure,
// and starting, cancelling and destroying while a fetch runs.
#include "httpget.h"
#include "components.h"
#include "loopback.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using loopback::DeadPort;
using loopback::Server;
using After = Server::After;
using namespace components;

namespace {

// Cancels, destruction and immediate failures end a fetch within this.
constexpr int kPromptMs = 500;
constexpr int kShortTimeoutMs = 300;

// Whether every other thread of the process is blocked in the kernel: a
// worker with nothing to do is then waiting on its socket.
bool otherThreadsAsleep()
{
    const std::string self = std::to_string(::gettid());
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto name = line.rfind(')'); // "tid (name) S ..."
        if (task.path().filename() != self && (name == std::string::npos || line.compare(name, 3, ") S") != 0))
            return false;
    }
    return true;
}

} // namespace

TEST(httpgetRequest, SendsTheConfiguredRequest)
{
    const std::string head = "GET /score?name=Ann HTTP/1.0\r\nHost: {host}\r\n";
    const std::string agent = "User-Agent: Pegsquare HTTPGet\r\n";
    const std::string plain = "Accept: */*\r\nPragma: no-cache\r\n";
    const struct {
        const char *name;
        std::function<void(THTTPGet &)> configure;
        std::string expected;
    } rows[] = {
        {"get", {}, head + agent + plain + "\r\n"},
        {"post", [](THTTPGet &g) { g.PostQuery = QStringLiteral("name=Ann&score=120"); },
         "POST /score?name=Ann HTTP/1.0\r\nHost: {host}\r\n" + agent + plain
             + "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 18\r\n\r\nname=Ann&score=120"},
        {"no agent, cache allowed",
         [](THTTPGet &g) {
             g.Agent.clear();
             g.UseCache = true;
         },
         head + "Accept: */*\r\n\r\n"},
        {"referer, login, line breaks dropped from header text",
         [](THTTPGet &g) {
             g.Referer = QStringLiteral("http://pegsquare/about");
             g.UserName = QStringLiteral("user");
             g.Password = QStringLiteral("pw");
             g.AcceptTypes = QStringLiteral("text/plain\r\nX-Injected: 1");
         },
         head + "Authorization: Basic dXNlcjpwdw==\r\n" + agent
             + "Referer: http://pegsquare/about\r\nAccept: text/plainX-Injected: 1\r\nPragma: no-cache\r\n\r\n"},
    };
    for (const auto &row : rows) {
        const Server server(kHello);
        EXPECT_EQ(fetch(server, "http://{host}/score?name=Ann", row.configure).record.done, 1) << row.name;
        EXPECT_EQ(server.request(), withHost(row.expected, server.host())) << row.name;
    }
}

TEST(httpgetRequest, TakesTheUrlApart)
{
    const struct {
        const char *url;
        const char *requestLine; // empty: the fetch fails without connecting
    } rows[] = {
        {"http://{host}/a?b=1", "GET /a?b=1 HTTP/1.0"},
        {"{host}/a", "GET /a HTTP/1.0"},
        {"HTTP://{host}/A/../b/./c", "GET /A/../b/./c HTTP/1.0"},
        {"hTtP://{host}/", "GET / HTTP/1.0"},
        {"http://{host}/s?name=Ann Lee#1&x=\xc3\xa9\t", "GET /s?name=Ann%20Lee%231&x=%C3%A9%09 HTTP/1.0"},
        {"http://{host}/s?q=a%20b&r={}|^`\\", "GET /s?q=a%20b&r={}|^`\\ HTTP/1.0"},
        {"http://{host}", "GET / HTTP/1.0"},
        {"http:///{host}/a", ""},
    };
    for (const auto &row : rows) {
        const Server server(kHello);
        const Fetched fetched = fetch(server, row.url);
        const std::string request = server.request();
        EXPECT_EQ(request.substr(0, request.find("\r\n")), row.requestLine) << row.url;
        EXPECT_EQ(fetched.record.done, *row.requestLine ? 1 : 0) << row.url;
        EXPECT_EQ(server.connections(), *row.requestLine ? 1 : 0) << row.url;
    }
}

TEST(httpgetBody, DeliversTheBodyWithProgress)
{
    std::string body(100'000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = char(i * 7 + i / 251);
    for (const bool withLength : {false, true}) {
        const Server server(kOk + (withLength ? "Content-Length: 100000\r\n" : "") + "\r\n" + body);
        const Record r = fetch(server, "{host}/big").record;
        ASSERT_EQ(r.done, 1) << withLength;
        EXPECT_EQ(r.body.toStdString(), body) << withLength;
        ASSERT_GT(r.progress.size(), 1u) << withLength;
        int previous = 0;
        for (const auto &[total, readed] : r.progress) {
            EXPECT_EQ(total, withLength ? 100'000 : 0);
            EXPECT_GT(readed, previous);
            previous = readed;
        }
        EXPECT_EQ(previous, 100'000) << withLength;
    }
}

TEST(httpgetBody, AnyStatusWithABodySucceedsAnEmptyBodyFails)
{
    const struct {
        std::string answer;
        const char *body; // empty: OnError
        int status;
    } rows[] = {
        {"HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nno such!\n", "no such!\n", 404},
        {kOk + "Content-Length: 0\r\n\r\n", "", 200},
        {kOk + "\r\n", "", 200},
        {"HTTP/1.0 500 Oops\r\n\r\n", "", 500},
    };
    for (const auto &row : rows) {
        const Server server(row.answer);
        const Fetched fetched = fetch(server, "{host}/x");
        EXPECT_EQ(fetched.record.done, *row.body ? 1 : 0) << row.answer;
        EXPECT_EQ(fetched.record.errors, *row.body ? 0 : 1) << row.answer;
        EXPECT_EQ(fetched.record.body, row.body) << row.answer;
        EXPECT_EQ(fetched.status, row.status) << row.answer;
    }
}

TEST(httpgetFailure, EachFailureEndsInOnePromptError)
{
    // Rows that wait for a time-out get short ones and must not end before
    // it; the others keep the long defaults and must end at once.
    const struct {
        const char *name;
        std::optional<DeadPort::Kind> dead;
        std::string answer;
        After after;
        bool timesOut;
        const char *reason;  // failureReason(): what the server did
    } rows[] = {
        {"connection refused", DeadPort::Kind::Refusing, "", After::Close, false, "refused the connection"},
        // A byte every 20 ms never stalls: only the deadline ends it.
        {"a trickle past the deadline", {}, kOk + "\r\n", After::Stream, true, "did not answer in time"},
        {"connect never completes", DeadPort::Kind::Unanswered, "", After::Close, true, "could not be reached"},
        {"accepted, never answered", {}, "", After::Hold, true, "did not answer in time"},
        {"answer stops midway", {}, kOk + "\r\nsome", After::Hold, true, "did not answer in time"},
        {"closed before the announced length", {}, kOk + "Content-Length: 1000\r\n\r\n0123456789", After::Close,
         false, "broke off before its answer was complete"},
        {"announced length over the limit", {}, kOk + "Content-Length: 1073741824\r\n\r\nabc", After::Hold, false,
         "sent an answer larger than allowed"},
        {"body over the limit", {}, kOk + "\r\n" + std::string(1001, 'x'), After::Hold, false,
         "sent an answer larger than allowed"},
    };
    for (const auto &row : rows) {
        std::optional<Server> server;
        std::optional<DeadPort> dead;
        if (row.dead)
            dead.emplace(*row.dead);
        else if (row.after == After::Stream)
            server.emplace([answer = row.answer](const std::string &) { return answer; }, row.after, "x", 20);
        else
            server.emplace(row.answer, row.after);
        Record record;
        THTTPGet get;
        watch(get, record);
        if (row.after == After::Stream) {
            get.setDeadline(kShortTimeoutMs);
        } else if (row.timesOut) {
            get.setConnectTimeout(kShortTimeoutMs);
            get.setStallTimeout(kShortTimeoutMs);
        }
        get.setMaxBodySize(1000);
        get.URL = QString::fromStdString((dead ? dead->host() : server->host()) + "/x");
        QElapsedTimer clock;
        clock.start();
        get.Start();
        ASSERT_TRUE(completes(record)) << row.name;
        EXPECT_GE(clock.elapsed(), row.timesOut ? kShortTimeoutMs - 10 : 0) << row.name;
        EXPECT_LT(clock.elapsed(), (row.timesOut ? kShortTimeoutMs : 0) + kPromptMs) << row.name;
        EXPECT_EQ(record.errors, 1) << row.name;
        EXPECT_EQ(record.done, 0) << row.name;
        EXPECT_FALSE(get.succeeded()) << row.name;
        EXPECT_FALSE(get.isBusy()) << row.name;
        EXPECT_EQ(get.status(), row.answer.empty() ? 0 : 200) << row.name;
        EXPECT_EQ(get.failureReason(), QString::fromLatin1(row.reason)) << row.name;
    }
    const THTTPGet fresh;
    EXPECT_EQ(fresh.maxBodySize(), 16 * 1024 * 1024);
    EXPECT_EQ(fresh.connectTimeout(), 10'000);
    EXPECT_EQ(fresh.stallTimeout(), 20'000);
    EXPECT_EQ(fresh.deadline(), 60'000);
}

TEST(httpgetFailure, BinaryDataRefusesABodyWithoutLength)
{
    // The server holds the connection after a first piece of body: only a
    // fetch that refuses at the headers ends before the stall time-out.
    const Server server(kOk + "\r\npartial body", After::Hold);
    const Fetched fetched = fetch(server, "{host}/bin", [](THTTPGet &g) { g.BinaryData = true; });
    EXPECT_EQ(fetched.record.errors, 1);
    EXPECT_TRUE(fetched.record.progress.empty());
}

TEST(httpgetRunning, StartIsIgnoredWhileAFetchRuns)
{
    // From a progress event (the worker waits for it to finish) and from
    // the completion event itself.
    for (const bool fromCompletion : {false, true}) {
        const Server first(kOk + "Content-Length: 200000\r\n\r\n" + std::string(200'000, 'f'));
        const Server second(kHello);
        Record record;
        THTTPGet get;
        watch(get, record);
        const auto startAgain = [&](THTTPGet *sender) {
            sender->URL = QString::fromStdString(second.host() + "/2");
            sender->Start();
        };
        if (fromCompletion) {
            get.OnDoneString = [&](THTTPGet *sender, const QByteArray &body) {
                ++record.done;
                record.body = body;
                startAgain(sender);
            };
        } else {
            get.OnProgress = [&](THTTPGet *sender, int, int) {
                record.progress.emplace_back();
                if (record.progress.size() == 1)
                    startAgain(sender);
            };
        }
        get.URL = QString::fromStdString(first.host() + "/1");
        get.Start();
        ASSERT_TRUE(completes(record)) << fromCompletion;
        EXPECT_EQ(record.done, 1) << fromCompletion;
        EXPECT_EQ(record.body.size(), 200'000) << fromCompletion;
        EXPECT_FALSE(get.isBusy()) << fromCompletion;
        EXPECT_EQ(second.connections(), 0) << fromCompletion;
    }
}

TEST(httpgetRunning, WaitThreadRunsPendingEventsOnce)
{
    for (const bool waitThread : {false, true}) {
        const Server server(kHello);
        Record record;
        THTTPGet get;
        watch(get, record);
        get.URL = QString::fromStdString(server.host() + "/w");
        get.WaitThread = waitThread;
        bool ran = false;
        QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
        get.Start();
        EXPECT_EQ(ran, waitThread);
        ASSERT_TRUE(completes(record));
    }
}

TEST(httpgetRunning, CancelEndsInOnePromptError)
{
    // Mid-transfer and during the connect, each time with the worker
    // waiting on its socket.
    for (const bool connected : {true, false}) {
        const Server server(kOk + "Content-Length: 100\r\n\r\nabc", After::Hold);
        const DeadPort unanswered(DeadPort::Kind::Unanswered);
        Record record;
        THTTPGet get;
        watch(get, record);
        get.URL = QString::fromStdString((connected ? server.host() : unanswered.host()) + "/slow");
        get.Start();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (!connected || !record.progress.empty()) && otherThreadsAsleep(); }, kWaitMs));
        QElapsedTimer clock;
        clock.start();
        get.Cancel();
        ASSERT_TRUE(completes(record)) << connected;
        EXPECT_LT(clock.elapsed(), kPromptMs) << connected;
        EXPECT_EQ(record.errors, 1) << connected;
        EXPECT_FALSE(get.succeeded()) << connected;
        EXPECT_EQ(server.connections(), connected ? 1 : 0);
    }
}

TEST(httpgetRunning, DestroyingMidTransferEndsQuietly)
{
    // From the event loop while the worker reads, and from inside a progress
    // event while the worker waits for that event to finish.
    for (const bool fromProgress : {false, true}) {
        const Server server(kOk + "\r\n" + std::string(50'000, 'x'), After::Hold);
        Record record;
        auto get = std::make_unique<THTTPGet>();
        watch(*get, record);
        qint64 destroyMs = -1;
        const auto destroy = [&] {
            QElapsedTimer clock;
            clock.start();
            get.reset();
            destroyMs = clock.elapsed();
        };
        if (fromProgress) {
            get->OnProgress = [&](THTTPGet *, int, int) {
                record.progress.emplace_back();
                destroy();
            };
        }
        get->URL = QString::fromStdString(server.host() + "/long");
        get->Start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !record.progress.empty(); }, kWaitMs));
        if (!fromProgress)
            destroy();
        EXPECT_LT(destroyMs, kPromptMs) << fromProgress;
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.clientClosed(); }, kWaitMs)) << fromProgress;
        const std::size_t progressSeen = record.progress.size();
        QCoreApplication::processEvents();
        EXPECT_EQ(record.completions(), 0) << fromProgress;
        EXPECT_EQ(record.progress.size(), progressSeen) << fromProgress;
    }
}
