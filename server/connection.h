#pragma once

#include "requesthead.h"

#include <httplib.h>

#include <chrono>
#include <string>

// One client connection as httplib reads and writes it. Reads go through a
// buffer that first collects the whole request head, so the head can be
// measured and mended before httplib parses it; every wait is bounded, and
// waits between requests also end when the server stops.
class ConnectionStream : public httplib::Stream {
public:
    enum class Wait { Ready, Closed, TimedOut, Stopping };

    // `stopFd` becomes readable when the server stops; neither descriptor is owned.
    ConnectionStream(int fd, int stopFd, std::chrono::milliseconds readTimeout,
                     std::chrono::milliseconds writeTimeout);

    // Waits up to `idle` for the next request to begin and then up to
    // `headTime` for its whole head. On Ready, `scan` tells whether the head
    // is complete (and then mended and waiting in the buffer) or too large.
    Wait awaitHead(std::chrono::milliseconds idle, std::chrono::milliseconds headTime, const HeadLimits &limits,
                   HeadScan &scan);
    // The bytes of the head collected by awaitHead, for a refusal's log line.
    std::string_view bufferedBytes() const { return m_in; }
    // Whether the client sent anything this side has not read.
    bool hasUnreadInput() const;
    // Writes all of `data`; false when the client stopped taking it in time.
    bool writeAll(std::string_view data);
    // Stops sending, then reads and drops what the client still sends for a
    // short while, so closing does not reset the connection before the client
    // has read the answer.
    void drainBeforeClose();

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_fd; }

private:
    using Clock = std::chrono::steady_clock;
    Wait waitReadable(Clock::time_point deadline, bool watchStop) const;

    int m_fd;
    int m_stopFd;
    std::chrono::milliseconds m_readTimeout;
    std::chrono::milliseconds m_writeTimeout;
    std::string m_in;     // received, and from m_taken on not yet read by httplib
    std::size_t m_taken = 0;
    mutable std::string m_remoteIp;
    mutable int m_remotePort = -1;
    mutable std::string m_localIp;
    mutable int m_localPort = -1;
};
