#include "readiness.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

// A datagram socket standing in for systemd's, bound to `name` ('@' for the
// abstract namespace, as NOTIFY_SOCKET writes it).
class NotifySocket {
public:
    explicit NotifySocket(const std::string &name)
    {
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        if (name.front() == '@')
            address.sun_path[0] = '\0';
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        m_bound = ::bind(m_socket, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;
    ~NotifySocket() { ::close(m_socket); }
    bool bound() const { return m_bound; }
    // The datagram waiting, if any: the sender has returned by the time this runs.
    std::optional<std::string> received() const
    {
        char buffer[256];
        const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        return got < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, static_cast<std::size_t>(got)));
    }

private:
    int m_socket = -1;
    bool m_bound = false;
};

TEST(serverReadiness, TheServiceManagerHearsReadyWhenItAskedAndNothingOtherwise)
{
    const TempFolder folder;
    const std::string path = (folder.path() / "notify").string();
    const std::string abstract = "@pegsquare-readiness-" + std::to_string(::getpid());
    struct Row {
        const char *name;
        std::optional<std::string> variable; // nullopt: not set
        bool fails;
    };
    const Row rows[] = {
        {"not started by a service manager", std::nullopt, false},
        {"empty", std::string(), false},
        {"a socket file", path, false},
        {"an abstract socket", abstract, false},
        {"a relative path", "notify", true},
        {"longer than a socket path can be", "/" + std::string(200, 'x'), true},
        {"a path where nothing listens", (folder.path() / "nobody").string(), true},
    };
    const NotifySocket file(path);
    const NotifySocket named(abstract);
    ASSERT_TRUE(file.bound() && named.bound());
    for (const Row &row : rows) {
        if (row.variable)
            ::setenv("NOTIFY_SOCKET", row.variable->c_str(), 1);
        else
            ::unsetenv("NOTIFY_SOCKET");
        const std::string problem = tellServiceManagerReady();
        EXPECT_EQ(!problem.empty(), row.fails) << row.name << ": " << problem;
        const bool toFile = row.variable == path, toAbstract = row.variable == abstract;
        EXPECT_EQ(file.received(), toFile ? std::optional<std::string>("READY=1") : std::nullopt) << row.name;
        EXPECT_EQ(named.received(), toAbstract ? std::optional<std::string>("READY=1") : std::nullopt) << row.name;
    }
    ::unsetenv("NOTIFY_SOCKET");
}

} // namespace
