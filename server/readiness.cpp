#include "readiness.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

std::string tellServiceManagerReady()
{
    const char *named = std::getenv("NOTIFY_SOCKET");
    if (named == nullptr || *named == '\0')
        return {};
    const std::string_view path(named);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // '@' names a socket in the abstract namespace, written with a leading NUL.
    if ((path.front() != '/' && path.front() != '@') || path.size() >= sizeof address.sun_path)
        return "NOTIFY_SOCKET is not a socket path: " + std::string(path);
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path.front() == '@')
        address.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());

    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return std::string("cannot tell the service manager: ") + std::strerror(errno);
    static constexpr std::string_view kReady = "READY=1";
    const ssize_t sent = ::sendto(socket, kReady.data(), kReady.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&address), length);
    const int error = errno;
    ::close(socket);
    if (sent != static_cast<ssize_t>(kReady.size()))
        return std::string("cannot tell the service manager: ") + std::strerror(error);
    return {};
}
