#pragma once

#include "requesthead.h"
#include "uniquefd.h"

#include <chrono>
#include <cstddef>
#include <string>

// One client connection as it passes between the connection loop, which
// waits on it, and a worker, which answers one request on it. Exactly one
// of them holds it at a time, so nothing here is locked.
struct ClientConnection {
    // What the loop does with the connection when a worker hands it back.
    enum class Next {
        ReadHead, // wait for the next request
        Close,    // close it at once (after sending what is held)
        Drain,    // stop sending, drop what the client still sends for a moment, then close
    };

    UniqueFd fd;
    std::string peer; // the socket's peer address, as text
    int peerPort = 0;

    // Bytes received and not yet answered. When a worker gets the
    // connection they begin with a whole head (or one too large to take),
    // which `scan` describes.
    std::string input;
    HeadScan scan;
    // When the first byte of the head at the start of `input` came.
    std::chrono::steady_clock::time_point headStarted{};

    // Answer bytes the worker could not send without waiting; the loop
    // sends them before anything else happens on the connection.
    std::string output;
    Next next = Next::ReadHead;
    std::size_t served = 0; // requests answered on this connection
    bool rearmed = false;   // the worker armed it for the next request itself
};
