#pragma once

#include "uniquefd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// Generous: every bound under test is far shorter, and sanitizer builds are slow.
constexpr std::chrono::seconds kWireDeadline{20};

inline int msLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// A connection to `port` on the loopback address, with `sent` written to
// it; from the loopback address `from` (127.x.y.z) when one is given.
inline UniqueFd connectLoopback(int port, std::string_view sent = {}, const char *from = nullptr)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (from != nullptr) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &source.sin_addr);
        if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&source), sizeof source) != 0)
            return UniqueFd();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::send(fd.get(), sent.data(), sent.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(sent.size()))
        fd.reset();
    return fd;
}

// Reads until the peer closes, or only until `enough` has come when it is
// given; nullopt when neither happened by the deadline.
inline std::optional<std::string> readUntil(int fd, std::string_view enough = {})
{
    const auto deadline = std::chrono::steady_clock::now() + kWireDeadline;
    std::string got;
    while (enough.empty() || got.find(enough) == std::string::npos) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, msLeft(deadline)) <= 0)
            return std::nullopt;
        char chunk[65536];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return enough.empty() ? std::optional(got) : std::nullopt;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}
