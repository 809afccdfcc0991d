// The transfer core under both HTTP components: how a URL is taken apart,
// that both components send the same request for the same URL, and that
// an answer whose head has no end cannot hold either of them.
#include "components.h"
#include "httptransfer.h"
#include "loopback.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <optional>
#include <string>

using loopback::Server;
using online::UrlFault;
using namespace components;

namespace {

// Far below every default stall time-out and deadline.
constexpr int kPromptMs = 3000;

std::string requestLine(const Server &server)
{
    const std::string request = server.request();
    return request.substr(0, request.find("\r\n"));
}

// Whether a fetch of `url` ("{host}" standing for the server) through
// THTTPGet delivered a body.
bool getWorks(const Server &server, const std::string &url)
{
    return fetch(server, url).record.done == 1;
}

// A download of `url` through THttpClient: the exception, if any.
std::optional<EHttpException> clientError(const std::string &url)
{
    THttpClient client;
    QBuffer body;
    return download(client, url, body);
}

} // namespace

TEST(httptransferUrl, SplitsEveryKindOfUrlOneWay)
{
    const struct {
        const char *name;
        QByteArray url;
        UrlFault fault;
        QByteArray host;
        QByteArray path;
    } rows[] = {
        {"bare host", "http://example.com", UrlFault::None, "example.com", "/"},
        {"bare host with a slash", "http://example.com/", UrlFault::None, "example.com", "/"},
        {"host:port", "http://example.com:8080/x", UrlFault::None, "example.com:8080", "/x"},
        {"bare host:port", "example.com:8080", UrlFault::None, "example.com:8080", "/"},
        {"largest port", "example.com:65535/", UrlFault::None, "example.com:65535", "/"},
        {"path", "http://example.com/pegsquare/pegsetup.exe", UrlFault::None, "example.com",
         "/pegsquare/pegsetup.exe"},
        {"path as written", "http://h/A/../b/./c%20d e", UrlFault::None, "h", "/A/../b/./c%20d e"},
        {"query", "http://example.com/cgi-bin/x.cgi?name=Ann&score=12", UrlFault::None, "example.com",
         "/cgi-bin/x.cgi?name=Ann&score=12"},
        {"query straight after the host", "http://example.com?v=1", UrlFault::None, "example.com", "/?v=1"},
        {"a URL inside the query", "example.com/a?u=http://b/c", UrlFault::None, "example.com", "/a?u=http://b/c"},
        {"missing scheme", "example.com/x", UrlFault::None, "example.com", "/x"},
        {"scheme in any case", "HtTp://example.com/x", UrlFault::None, "example.com", "/x"},
        {"IPv4 with port", "127.0.0.1:80/x", UrlFault::None, "127.0.0.1:80", "/x"},
        {"IPv6 literal", "http://[::1]/x", UrlFault::None, "[::1]", "/x"},
        {"IPv6 literal with port, bare", "http://[2001:db8::1]:8080", UrlFault::None, "[2001:db8::1]:8080", "/"},
        {"IPv6 with an IPv4 tail", "[::ffff:127.0.0.1]:80/", UrlFault::None, "[::ffff:127.0.0.1]:80", "/"},
        {"empty", "", UrlFault::NoHost, {}, {}},
        {"scheme alone", "http://", UrlFault::NoHost, {}, {}},
        {"three slashes", "http:///example.com/x", UrlFault::NoHost, {}, {}},
        {"path alone", "/x", UrlFault::NoHost, {}, {}},
        {"query alone", "?x=1", UrlFault::NoHost, {}, {}},
        {"another scheme", "https://example.com/x", UrlFault::BadHost, {}, {}},
        {"scheme twice", "http://http://example.com/x", UrlFault::BadHost, {}, {}},
        {"one slash after the scheme", "http:/example.com/x", UrlFault::BadHost, {}, {}},
        {"user name", "http://user@example.com/x", UrlFault::BadHost, {}, {}},
        {"blank in the host", "exa mple.com/x", UrlFault::BadHost, {}, {}},
        {"line break in the host", "exa\r\nmple.com/x", UrlFault::BadHost, {}, {}},
        {"backslash in the host", "exa\\mple.com/x", UrlFault::BadHost, {}, {}},
        {"fragment after the host", "example.com#top", UrlFault::BadHost, {}, {}},
        {"non-ASCII host", "b\xc3\xbc" "cher.example/x", UrlFault::BadHost, {}, {}},
        {"empty port", "example.com:/x", UrlFault::BadHost, {}, {}},
        {"port 0", "example.com:0/x", UrlFault::BadHost, {}, {}},
        {"port too large", "example.com:65536/x", UrlFault::BadHost, {}, {}},
        {"port too long", "example.com:000080/x", UrlFault::BadHost, {}, {}},
        {"port not a number", "example.com:8o/x", UrlFault::BadHost, {}, {}},
        {"port alone", ":8080/x", UrlFault::BadHost, {}, {}},
        {"IPv6 without brackets", "::1/x", UrlFault::BadHost, {}, {}},
        {"IPv6 unclosed", "[::1/x", UrlFault::BadHost, {}, {}},
        {"IPv6 empty", "[]/x", UrlFault::BadHost, {}, {}},
        {"IPv6 with a zone", "[fe80::1%25eth0]/x", UrlFault::BadHost, {}, {}},
        {"IPv6 then junk", "[::1]8080/x", UrlFault::BadHost, {}, {}},
    };
    for (const auto &row : rows) {
        const online::UrlParts parts = online::splitUrl(row.url);
        EXPECT_EQ(parts.fault, row.fault) << row.name;
        EXPECT_EQ(parts.host, row.host) << row.name;
        EXPECT_EQ(parts.path, row.path) << row.name;
    }
}

TEST(httptransferUrl, BothComponentsSendTheSameRequestLine)
{
    const struct {
        const char *url;
        const char *requestLine; // empty: neither connects
    } rows[] = {
        {"http://{host}", "GET / HTTP/1.0"},
        {"{host}", "GET / HTTP/1.0"},
        {"{host}?v=1", "GET /?v=1 HTTP/1.0"},
        {"HTTP://{host}/a/../b c#d\xc3\xa9", "GET /a/../b%20c%23d%C3%A9 HTTP/1.0"},
        {"http:///{host}/a", ""},
        {"user@{host}/a", ""},
        {"https://{host}/a", ""},
    };
    for (const auto &row : rows) {
        const bool connects = *row.requestLine != '\0';
        const Server getServer(kHello);
        EXPECT_EQ(getWorks(getServer, row.url), connects) << "THTTPGet " << row.url;
        EXPECT_EQ(requestLine(getServer), row.requestLine) << "THTTPGet " << row.url;
        EXPECT_EQ(getServer.connections(), connects ? 1 : 0) << "THTTPGet " << row.url;

        const Server clientServer(kHello);
        const std::optional<EHttpException> error = clientError(withHost(row.url, clientServer.host()));
        EXPECT_EQ(!error, connects) << "THttpClient " << row.url << ": " << (error ? error->what() : "");
        EXPECT_EQ(requestLine(clientServer), row.requestLine) << "THttpClient " << row.url;
        EXPECT_EQ(clientServer.connections(), connects ? 1 : 0) << "THttpClient " << row.url;
    }
}

TEST(httptransferAnswer, AHeadWithoutEndFailsBothComponentsAtOnce)
{
    // Each row keeps bytes coming, so no stall time-out ends it; the default
    // deadlines are a minute and more.
    const std::string filler = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    const struct {
        const char *name;
        std::string answer;
        std::string tail;
        int clientStatus;
    } rows[] = {
        {"head lines without end", kOk, filler, 404},
        {"a status line of 80 kB", "HTTP/1.0 404 " + std::string(80'000, 'x'), filler, 404},
        {"error head lines without end", "HTTP/1.0 503 Busy\r\n", filler, 503},
    };
    for (const auto &row : rows) {
        const auto respond = [answer = row.answer](const std::string &) { return answer; };
        QElapsedTimer clock;
        clock.start();
        {
            const Server server(respond, Server::After::Stream, row.tail);
            EXPECT_FALSE(getWorks(server, "{host}/x")) << row.name;
        }
        EXPECT_LT(clock.elapsed(), kPromptMs) << "THTTPGet " << row.name;

        clock.restart();
        {
            const Server server(respond, Server::After::Stream, row.tail);
            const std::optional<EHttpException> error = clientError(server.host() + "/x");
            ASSERT_TRUE(error) << row.name;
            EXPECT_EQ(error->statusCode(), row.clientStatus) << row.name;
            EXPECT_FALSE(error->reason().isEmpty()) << row.name;
            EXPECT_LE(error->reason().size(), online::kMaxStatusLineBytes) << row.name;
        }
        EXPECT_LT(clock.elapsed(), kPromptMs) << "THttpClient " << row.name;
    }
}
