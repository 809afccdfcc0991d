#include "clientaddress.h"
#include "ratelimit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A clock that moves only when the test moves it.
struct TestClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    PostingLimit::Clock clock()
    {
        return [this] { return now; };
    }
};

TEST(serverPostingLimit, EachAddressHasItsOwnBucket)
{
    // 6 a minute is one token every 10 s.
    struct Step {
        std::chrono::seconds after; // since the step before
        std::string client;
        int postings;  // made one after another
        int lastWait;  // what take() answers for the last of them
    };
    struct Row {
        const char *name;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"the whole burst at once", {{0s, "a", 12, 0}}},
        {"one past the burst waits for one token", {{0s, "a", 13, 10}}},
        {"a refused posting spends nothing", {{0s, "a", 13, 10}, {0s, "a", 1, 10}, {0s, "a", 1, 10}, {10s, "a", 1, 0}}},
        {"the wait shrinks as time passes", {{0s, "a", 13, 10}, {9s, "a", 1, 1}}},
        {"the seconds it was told are enough", {{0s, "a", 13, 10}, {10s, "a", 1, 0}, {0s, "a", 1, 10}}},
        {"a quiet spell refills the whole burst", {{0s, "a", 13, 10}, {120s, "a", 12, 0}, {0s, "a", 1, 10}}},
        {"tokens are not saved past the burst", {{0s, "a", 1, 0}, {3600s, "a", 13, 10}}},
        {"addresses are independent", {{0s, "a", 13, 10}, {0s, "b", 12, 0}, {0s, "b", 1, 10}, {0s, "a", 1, 10}}},
        {"IPv6 addresses too", {{0s, "2001:db8::1", 13, 10}, {0s, "2001:db8::2", 1, 0}}},
    };
    for (const Row &row : rows) {
        TestClock clock;
        PostingLimit limit({6, 12}, clock.clock());
        int step = 0;
        for (const Step &s : row.steps) {
            clock.now += s.after;
            for (int i = 1; i < s.postings; ++i)
                EXPECT_EQ(limit.take(s.client), 0) << row.name << ", step " << step << ", posting " << i;
            EXPECT_EQ(limit.take(s.client), s.lastWait) << row.name << ", step " << step;
            ++step;
        }
    }
}

TEST(serverPostingLimit, TheTableStaysBoundedWhateverTheNumberOfAddresses)
{
    struct Row {
        const char *name;
        int addresses;      // each posting once, all at the same moment
        std::chrono::seconds then; // before one more address posts
        std::size_t held;   // addresses held at the end
    };
    const Row rows[] = {
        {"below the cap", 50, 0s, 51},
        {"far past the cap", 100000, 0s, 100},
        {"buckets full again are dropped", 80, 10s, 1},
        {"a bucket not yet full is kept", 80, 9s, 81},
    };
    for (const Row &row : rows) {
        TestClock clock;
        PostingLimit limit({6, 12, 100}, clock.clock());
        for (int i = 0; i < row.addresses; ++i)
            ASSERT_EQ(limit.take("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256)), 0) << row.name;
        clock.now += row.then;
        EXPECT_EQ(limit.take("192.0.2.1"), 0) << row.name;
        EXPECT_EQ(limit.addresses(), row.held) << row.name;
    }
}

TEST(serverClientAddress, OnlyATrustedProxyNamesTheClient)
{
    struct Row {
        const char *name;
        std::string peer;
        std::string forwardedFor;
        std::vector<std::string> trusted;
        std::string client;
    };
    const std::vector<std::string> proxy = {"10.0.0.5", "::1"};
    const Row rows[] = {
        {"no header", "198.51.100.7", "", {}, "198.51.100.7"},
        {"no trusted proxy: the header is ignored", "10.0.0.5", "203.0.113.9", {}, "10.0.0.5"},
        {"an untrusted peer's header is ignored", "198.51.100.7", "203.0.113.9", proxy, "198.51.100.7"},
        {"trusted proxy, one entry", "10.0.0.5", "203.0.113.9", proxy, "203.0.113.9"},
        {"trusted proxy: the entry it appended, not the client's claims", "10.0.0.5",
         "1.2.3.4, 5.6.7.8,203.0.113.9", proxy, "203.0.113.9"},
        {"trusted IPv6 proxy, IPv6 client written long", "::1", "2001:DB8:0:0::0001 ", proxy, "2001:db8::1"},
        {"trusted proxy, empty header", "10.0.0.5", "", proxy, "10.0.0.5"},
        {"trusted proxy, blank last entry", "10.0.0.5", "203.0.113.9, ", proxy, "10.0.0.5"},
        {"trusted proxy, last entry not an address", "10.0.0.5", "203.0.113.9, unknown", proxy, "10.0.0.5"},
        {"trusted proxy, last entry with a port", "10.0.0.5", "203.0.113.9:4711", proxy, "10.0.0.5"},
        {"trusted proxy, very long entry", "10.0.0.5", std::string(5000, '1'), proxy, "10.0.0.5"},
        {"a proxy matched by its exact address only", "10.0.0.50", "203.0.113.9", proxy, "10.0.0.50"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(clientAddress(row.peer, row.forwardedFor, row.trusted), row.client) << row.name;
}

} // namespace
