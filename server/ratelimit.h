#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// How many score postings each client address may make: a steady rate with
// room for a burst (a token bucket). A player posts once at the end of a
// game, so only a script posting in a loop ever meets the limit.
//
// Safe to call from many threads at once. The table of addresses stays
// within `maxAddresses`: a bucket that has filled up again is the same as
// none and is dropped, and when the table is full all the same the address
// heard from least recently is dropped, which only gives it a fresh burst.
class PostingLimit {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Settings {
        int perMinute = 6; // above 0
        int burst = 12;    // above 0
        std::size_t maxAddresses = 100000;
    };

    explicit PostingLimit(const Settings &settings, Clock clock = std::chrono::steady_clock::now);

    // Spends one of `client`'s tokens and returns 0, or, when it has none
    // left, returns the whole seconds (at least 1) until it has one again.
    // A refused posting spends nothing.
    int take(std::string_view client);

    // How many addresses are held now.
    std::size_t addresses() const;

private:
    // The bucket is kept as the moment it will be full again: each posting
    // moves that moment one interval later, and a posting is refused when
    // it would move it past a whole burst from now. Integer time, so a
    // client that waits the seconds it was told is never refused again by
    // a rounding error.
    struct Bucket {
        std::string client;
        std::chrono::nanoseconds fullAt;
    };

    void dropFullBuckets(std::chrono::nanoseconds now);

    const std::chrono::nanoseconds m_interval;
    const std::chrono::nanoseconds m_burstSpan;
    const std::size_t m_maxAddresses;
    const Clock m_clock;

    mutable std::mutex m_mutex;
    std::list<Bucket> m_recent; // most recently heard from first
    std::unordered_map<std::string_view, std::list<Bucket>::iterator> m_byClient; // keys point into m_recent
};
