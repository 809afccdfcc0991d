#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The line a proxy that balances plain TCP connections (nginx's stream
// module with proxy_protocol on, HAProxy's send-proxy) sends before the
// client's own bytes, naming the client: version 1 of the PROXY protocol,
// "PROXY TCP4 SOURCE DESTINATION SOURCE-PORT DESTINATION-PORT" and CR LF,
// at most 107 bytes. The game's requests cannot pass an HTTP proxy (their
// request lines hold blanks), so this is how a balancer in front of
// several servers tells them who the player is. It is believed only from
// a trusted proxy.
struct ProxyHeader {
    enum class State {
        None,       // the connection does not begin with such a line
        Incomplete, // it may, but the line has not all come
        Read,       // a whole line, `length` bytes; `source` empty for "UNKNOWN"
        Malformed,  // it begins like one but is not one
    };
    State state = State::None;
    std::size_t length = 0;
    std::string source; // canonical address text
    int sourcePort = 0;
};

ProxyHeader readProxyHeader(std::string_view bytes);
