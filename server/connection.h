#pragma once

#include "clientaddress.h"
#include "clientconnection.h"

#include <httplib.h>

#include <chrono>
#include <optional>
#include <string>

// A connection as httplib reads and writes it while a worker answers one
// request on it. Reads come first from the bytes the connection loop
// collected (the request head, already measured and mended). Writes go out
// at once when the socket takes them and are otherwise held in the
// connection, up to a bound, for the loop to send: a client slow to take a
// short answer then holds no worker. Past the bound (a large download)
// each write waits, up to the write time-out, as a blocking send would.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(ClientConnection &connection, std::chrono::milliseconds readTimeout,
                     std::chrono::milliseconds writeTimeout);

    // The connection's input as the loop collected it (the head first).
    std::string_view bufferedBytes() const { return m_connection.input; }
    // Writes all of `data`; false when the client stopped taking it in time.
    bool writeAll(std::string_view data);
    // Leaves in the connection's input only what httplib has not read, and
    // tells whether anything is left, there or still in the socket.
    bool keepUnread();

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_connection.fd.get(); }

private:
    using Clock = std::chrono::steady_clock;
    // Sends held output until none is held; false when the client stopped taking it.
    bool flushHeld();

    ClientConnection &m_connection;
    std::chrono::milliseconds m_readTimeout;
    std::chrono::milliseconds m_writeTimeout;
    std::size_t m_taken = 0; // of the connection's input, bytes httplib has read
    mutable std::optional<SocketEnd> m_local;
};
