#pragma once

#include <sys/socket.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An IPv4 or IPv6 address written the one way the system writes it
// ("::1" for "0:0::0001"), so that two spellings of one address compare
// equal; nullopt when `text` is not an address.
std::optional<std::string> canonicalAddress(std::string_view text);

// The address of a socket end as text, in canonicalAddress()'s form, with
// its port; an empty text for a family other than IPv4 or IPv6.
struct SocketEnd {
    std::string address;
    int port = 0;
};
SocketEnd socketEnd(const sockaddr_storage &address);
// The local end of a connected socket.
SocketEnd localEnd(int fd);

// Whose request this is. `peer` is the address the connection comes from;
// `forwardedFor` is the request's X-Forwarded-For list (every such header
// joined by commas, empty when there is none).
//
// Only a peer in `trustedProxies` is believed about the client: the last
// entry of the list is the one that proxy appended itself, while the entries
// before it are whatever the client chose to send. A list from anyone else
// is ignored, and a trusted proxy's list whose last entry is not an address
// leaves the proxy itself as the client.
std::string clientAddress(std::string_view peer, std::string_view forwardedFor,
                          const std::vector<std::string> &trustedProxies);
