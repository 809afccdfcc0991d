#include "proxyheader.h"

#include <gtest/gtest.h>

namespace {

TEST(serverProxyLine, TheClientIsReadFromAWholeLineAndAnythingElseIsNotALine)
{
    using State = ProxyHeader::State;
    struct Row {
        const char *name;
        std::string bytes;
        State state;
        const char *source = "";
        int port = 0;
        std::size_t length = 0;
    };
    const std::string tcp4 = "PROXY TCP4 203.0.113.7 10.0.0.1 51234 80\r\n";
    const Row rows[] = {
        {"IPv4, the request after it", tcp4 + "GET / HTTP/1.0\r\n", State::Read, "203.0.113.7", 51234, tcp4.size()},
        {"IPv6, written the system's way", "PROXY TCP6 2001:DB8:0:0::1 ::1 443 8081\r\n", State::Read, "2001:db8::1",
         443, 41},
        {"unknown client", "PROXY UNKNOWN\r\n", State::Read, "", 0, 15},
        {"a plain request", "GET / HTTP/1.1\r\n", State::None},
        {"nothing yet", "", State::Incomplete},
        {"a start", "PROX", State::Incomplete},
        {"half a line", "PROXY TCP4 203.0.113.7 10.0", State::Incomplete},
        {"no line end within the longest line", "PROXY TCP4 " + std::string(120, '1'), State::Malformed},
        {"IPv6 address as TCP4", "PROXY TCP4 ::1 ::1 1 2\r\n", State::Malformed},
        {"not an address", "PROXY TCP4 example.com 10.0.0.1 1 2\r\n", State::Malformed},
        {"port out of range", "PROXY TCP4 203.0.113.7 10.0.0.1 65536 80\r\n", State::Malformed},
        {"port with a sign", "PROXY TCP4 203.0.113.7 10.0.0.1 +1 80\r\n", State::Malformed},
        {"missing port", "PROXY TCP4 203.0.113.7 10.0.0.1 80\r\n", State::Malformed},
        {"two blanks", "PROXY TCP4  203.0.113.7 10.0.0.1 1 80\r\n", State::Malformed},
        {"unknown protocol", "PROXY UDP4 203.0.113.7 10.0.0.1 1 80\r\n", State::Malformed},
    };
    for (const Row &row : rows) {
        const ProxyHeader header = readProxyHeader(row.bytes);
        EXPECT_EQ(header.state, row.state) << row.name;
        if (row.state != State::Read)
            continue;
        EXPECT_EQ(header.source, row.source) << row.name;
        EXPECT_EQ(header.sourcePort, row.port) << row.name;
        EXPECT_EQ(header.length, row.length) << row.name;
    }
}

} // namespace
