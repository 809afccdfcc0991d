// The transfer core under both HTTP components: how a URL is taken apart.
#include "httptransfer.h"

#include <gtest/gtest.h>

using online::UrlFault;

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
