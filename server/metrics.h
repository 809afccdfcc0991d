#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// What the server has been doing, for a Prometheus scraper: requests by route
// and status, how long postings take, how many postings each commit holds,
// the size of the database, the refusals by limit and the open connections.
//
// Every worker thread updates it at once; the counters are relaxed atomics so
// the per-request cost stays a single add, and only the histograms (one
// observation per posting or commit, both far rarer) take a short lock so that
// their buckets, sum and count always agree with one another.
class ServerMetrics {
public:
    // The limits a request can be refused by.
    enum class Limit { PostingRate, ConnectionsPerAddress, ConnectionsTotal, DatabaseFull, HeadTooLarge };

    // The route labels. Anything else a caller passes is counted as "other",
    // so a client-chosen string can never become a label.
    static constexpr std::array<std::string_view, 7> kRoutes{"scores", "list",   "version", "installer",
                                                              "signature", "health", "other"};

    ServerMetrics() = default;
    explicit ServerMetrics(std::function<std::uint64_t()> databaseBytes);
    ServerMetrics(const ServerMetrics &) = delete;
    ServerMetrics &operator=(const ServerMetrics &) = delete;

    // One answered request. A status outside 100-599 is counted as "other".
    void countRequest(std::string_view route, int status);
    // The time from a posting's request head being read to its answer being
    // ready. A negative duration (a caller's clock mix-up) counts as zero.
    void observePosting(std::chrono::nanoseconds elapsed);
    // How many postings one commit of the group commit held.
    void observeBatch(std::size_t postings);
    // Where the database size is read from, each time the text is rendered.
    // Without one the size is left out rather than reported as zero.
    void setDatabaseBytesSource(std::function<std::uint64_t()> source);
    void countRefusal(Limit limit);
    void connectionOpened();
    // Never takes the gauge below zero, should a close be reported twice.
    void connectionClosed();

    // Everything in the Prometheus text exposition format 0.0.4.
    std::string render() const;

private:
    static constexpr int kFirstStatus = 100;
    static constexpr int kLastStatus = 599;
    // One slot per status 100-599 and a last one for anything else.
    static constexpr std::size_t kStatusSlots = kLastStatus - kFirstStatus + 2;
    static constexpr std::size_t kLimits = 5;

    // Bucket counts kept per bucket (not cumulative) plus one for above the
    // last bound; made cumulative when rendered.
    template <std::size_t Bounds>
    struct Histogram {
        mutable std::mutex mutex;
        std::array<std::uint64_t, Bounds + 1> counts{};
        std::uint64_t sum = 0; // nanoseconds for durations, postings for batches
    };

    std::array<std::array<std::atomic<std::uint64_t>, kStatusSlots>, kRoutes.size()> m_requests{};
    std::array<std::atomic<std::uint64_t>, kLimits> m_refusals{};
    std::atomic<std::int64_t> m_openConnections{0};
    Histogram<12> m_posting;
    Histogram<10> m_batch;
    mutable std::mutex m_sourceMutex;
    std::function<std::uint64_t()> m_databaseBytes;
};

// `value` escaped for a label value of the text format: backslash, double
// quote and newline.
std::string escapeLabelValue(std::string_view value);

// The value of the metrics listening option: "PORT" (on 127.0.0.1),
// "HOST:PORT" or "[IPv6]:PORT", with a port of 0 (any free one) to 65535.
// Returns the address without brackets, and the port; nullopt for anything else.
std::optional<std::pair<std::string, int>> parseListenAddress(std::string_view text);
