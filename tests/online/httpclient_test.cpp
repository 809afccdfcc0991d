// THttpClient against raw loopback servers: the exact request bytes, a body
// into a stream, and every way a download fails.
#include "httpclient.h"
#include "components.h"
#include "loopback.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <string>

using loopback::DeadPort;
using loopback::Server;
using After = Server::After;
using components::download;

namespace {

constexpr int kShortTimeoutMs = 300;
// A failure that waits for a time-out still ends well within this.
constexpr int kPromptMs = 5000;

std::string ok(const std::string &body)
{
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HttpClient, SendsExactlyTheRequestLineAcceptUserAgentAndHost)
{
    Server server(ok("MZ-installer"));
    THttpClient client;
    QBuffer body;
    const auto error = download(client, "http://" + server.host() + "/pegsquare/pegsetup.exe", body);
    ASSERT_FALSE(error) << error->what();
    EXPECT_EQ(server.request(), "GET /pegsquare/pegsetup.exe HTTP/1.0\r\n"
                                "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                                "User-Agent: Mozilla/3.0 (compatible)\r\n"
                                "Host: "
                                    + server.host() + "\r\n\r\n");
    EXPECT_EQ(body.data(), QByteArray("MZ-installer"));
    EXPECT_FALSE(client.isBusy());
}

TEST(HttpClient, TheSchemeIsOptionalAndAnyCase)
{
    for (const std::string prefix : {"", "HTTP://", "http://"}) {
        SCOPED_TRACE(prefix);
        Server server(ok("abc"));
        THttpClient client;
        QBuffer body;
        const auto error = download(client, prefix + server.host() + "/a/b.exe?x=1", body);
        ASSERT_FALSE(error) << error->what();
        EXPECT_TRUE(server.request().starts_with("GET /a/b.exe?x=1 HTTP/1.0\r\n")) << server.request();
        EXPECT_EQ(body.data(), QByteArray("abc"));
    }
}

TEST(HttpClient, EveryIncompleteOrRefusedDownloadThrows)
{
    const std::string big(100'000, 'x');
    const struct {
        const char *name;
        std::string answer;
        After after;
        int status;
    } rows[] = {
        {"not found", "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot here.", After::Close, 404},
        {"server error", "HTTP/1.0 500 Internal Server Error\r\n\r\noops", After::Close, 500},
        {"forbidden without a body", "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n", After::Close, 403},
        {"closed mid-body", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + big.substr(0, 4000), After::Close,
         404},
        {"body shorter than announced, no close", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc", After::Hold,
         404},
        {"closed before any answer", "", After::Close, 404},
        {"empty body", ok(""), After::Close, 404},
        {"empty body without a length", "HTTP/1.0 200 OK\r\n\r\n", After::Close, 404},
        {"stalls after the head", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", After::Hold, 404},
        {"garbage instead of HTTP", "hello there\r\n\r\n", After::Close, 404},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Server server(row.answer, row.after);
        THttpClient client;
        client.setStallTimeout(kShortTimeoutMs);
        QBuffer body;
        QElapsedTimer clock;
        clock.start();
        const auto error = download(client, server.host() + "/pegsquare/pegsetup.exe", body);
        ASSERT_TRUE(error) << "downloaded " << body.data().size() << " bytes";
        EXPECT_EQ(error->statusCode(), row.status) << error->what();
        EXPECT_FALSE(error->reason().isEmpty());
        EXPECT_LT(clock.elapsed(), kPromptMs);
        EXPECT_FALSE(client.isBusy());
        if (row.status >= 400 && row.status != 404) {
            EXPECT_TRUE(body.data().isEmpty()) << "the error page went into the stream";
        }
    }
}

TEST(HttpClient, AWholeBodyWithoutALengthArrives)
{
    Server server("HTTP/1.0 200 OK\r\n\r\n" + std::string(70'000, 'z'));
    THttpClient client;
    QBuffer body;
    const auto error = download(client, server.host() + "/p", body);
    ASSERT_FALSE(error) << error->what();
    EXPECT_EQ(body.data(), QByteArray(70'000, 'z'));
}

TEST(HttpClient, NoServerMeansStatus404)
{
    const struct {
        const char *name;
        std::string host;
    } rows[] = {
        {"refused", DeadPort(DeadPort::Kind::Refusing).host()},
        {"unresolvable", "no-such-host.invalid"},
        {"no host", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        THttpClient client;
        QBuffer body;
        const auto error = download(client, "http://" + row.host + "/pegsquare/pegsetup.exe", body);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->statusCode(), 404);
    }
}

TEST(HttpClient, AConnectThatHangsTimesOut)
{
    DeadPort port(DeadPort::Kind::Unanswered);
    THttpClient client;
    client.setConnectTimeout(kShortTimeoutMs);
    QBuffer body;
    QElapsedTimer clock;
    clock.start();
    const auto error = download(client, port.host() + "/x", body);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->statusCode(), 404);
    EXPECT_LT(clock.elapsed(), kPromptMs);
}

TEST(HttpClient, TheGuiRunsWhileItWaitsAndCanAbortOrNotStartASecondDownload)
{
    // The server holds the download open; only the GUI's own events end it.
    Server server("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nab", After::Hold);
    THttpClient client;
    std::optional<EHttpException> nested;
    // Once the server holds the request, a GUI event tries a second
    // download and then aborts the first.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &client, [&] {
        if (server.request().empty() || nested)
            return;
        QBuffer other;
        nested = download(client, server.host() + "/other", other);
        client.Abort();
    });
    poll.start(5);
    QBuffer body;
    QElapsedTimer clock;
    clock.start();
    const auto error = download(client, server.host() + "/pegsquare/pegsetup.exe", body);
    ASSERT_TRUE(nested) << "the event did not run during the download, or the second one started";
    EXPECT_EQ(nested->statusCode(), 404);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->statusCode(), 404);
    EXPECT_EQ(error->reason(), QStringLiteral("Aborted"));
    EXPECT_LT(clock.elapsed(), kPromptMs);
    EXPECT_EQ(server.connections(), 1);
    // Idle again: the next download runs.
    Server next(ok("fine"));
    QBuffer again;
    EXPECT_FALSE(download(client, next.host() + "/p", again));
    EXPECT_EQ(again.data(), QByteArray("fine"));
}

// Keeps a quit request from ending the test program: it is installed
// before the client, so the client's filter sees the request first.
class SwallowQuit : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Quit; }
};

TEST(HttpClient, AQuitRequestAbortsTheDownload)
{
    SwallowQuit swallow;
    QCoreApplication::instance()->installEventFilter(&swallow);
    Server server("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nab", After::Hold);
    THttpClient client;
    QTimer::singleShot(0, &client, [] {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    });
    QBuffer body;
    const auto error = download(client, server.host() + "/p", body);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->reason(), QStringLiteral("Aborted"));
    QCoreApplication::instance()->removeEventFilter(&swallow);
}

} // namespace
