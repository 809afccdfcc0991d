#include "ratelimit.h"

#include <algorithm>

using std::chrono::nanoseconds;

PostingLimit::PostingLimit(const Settings &settings, Clock clock)
    : m_interval(nanoseconds(std::chrono::minutes(1)) / std::max(1, settings.perMinute)),
      m_burstSpan(m_interval * std::max(1, settings.burst)),
      m_maxAddresses(std::max<std::size_t>(1, settings.maxAddresses)), m_clock(std::move(clock))
{
}

int PostingLimit::take(std::string_view client)
{
    const nanoseconds now = m_clock().time_since_epoch();
    std::lock_guard lock(m_mutex);
    dropFullBuckets(now);
    auto found = m_byClient.find(client);
    if (found == m_byClient.end()) {
        if (m_byClient.size() >= m_maxAddresses) {
            m_byClient.erase(m_recent.back().client);
            m_recent.pop_back();
        }
        m_recent.push_front({std::string(client), now});
        found = m_byClient.emplace(m_recent.front().client, m_recent.begin()).first;
    } else {
        m_recent.splice(m_recent.begin(), m_recent, found->second);
    }
    Bucket &bucket = *found->second;
    const nanoseconds fullAt = std::max(bucket.fullAt, now) + m_interval;
    const nanoseconds wait = fullAt - now - m_burstSpan;
    if (wait > nanoseconds::zero()) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(wait).count();
        return static_cast<int>(std::clamp<decltype(seconds)>(seconds, 1, 1 << 30));
    }
    bucket.fullAt = fullAt;
    return 0;
}

std::size_t PostingLimit::addresses() const
{
    std::lock_guard lock(m_mutex);
    return m_byClient.size();
}

// The table is in the order addresses were last heard from, so the idle
// ones are at its end: dropping from there while the buckets are full again
// costs nothing for the buckets kept.
void PostingLimit::dropFullBuckets(nanoseconds now)
{
    while (!m_recent.empty() && m_recent.back().fullAt <= now) {
        m_byClient.erase(m_recent.back().client);
        m_recent.pop_back();
    }
}
