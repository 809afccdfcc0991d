#include "clientaddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

std::optional<std::string> canonicalAddress(std::string_view text)
{
    // inet_pton reads a C string; an address is never longer than this.
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string terminated(text);
    in_addr v4;
    in6_addr v6;
    char written[INET6_ADDRSTRLEN];
    if (::inet_pton(AF_INET, terminated.c_str(), &v4) == 1
        && ::inet_ntop(AF_INET, &v4, written, sizeof written) != nullptr)
        return std::string(written);
    if (::inet_pton(AF_INET6, terminated.c_str(), &v6) == 1
        && ::inet_ntop(AF_INET6, &v6, written, sizeof written) != nullptr)
        return std::string(written);
    return std::nullopt;
}

std::string clientAddress(std::string_view peer, std::string_view forwardedFor,
                          const std::vector<std::string> &trustedProxies)
{
    if (std::find(trustedProxies.begin(), trustedProxies.end(), peer) == trustedProxies.end())
        return std::string(peer);
    std::string_view last = forwardedFor.substr(forwardedFor.rfind(',') + 1);
    const std::size_t first = last.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::string(peer);
    last = last.substr(first, last.find_last_not_of(" \t") + 1 - first);
    return canonicalAddress(last).value_or(std::string(peer));
}

SocketEnd socketEnd(const sockaddr_storage &address)
{
    SocketEnd end;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        end.port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        end.port = ntohs(v6.sin6_port);
    }
    end.address = text;
    return end;
}

SocketEnd localEnd(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return socketEnd(address);
}
