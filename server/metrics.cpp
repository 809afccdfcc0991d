#include "metrics.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

// Bounds are compared as integers (nanoseconds, postings) so that an
// observation exactly on a bound lands in that bound's bucket; the label
// text is written out beside each so no float is ever formatted for it.
struct Bound {
    std::uint64_t value;
    const char *label;
};

constexpr std::array<Bound, 12> kPostingBounds{{
    {500'000, "0.0005"},
    {1'000'000, "0.001"},
    {2'500'000, "0.0025"},
    {5'000'000, "0.005"},
    {10'000'000, "0.01"},
    {25'000'000, "0.025"},
    {50'000'000, "0.05"},
    {100'000'000, "0.1"},
    {250'000'000, "0.25"},
    {500'000'000, "0.5"},
    {1'000'000'000, "1"},
    {2'500'000'000, "2.5"},
}};

constexpr std::array<Bound, 10> kBatchBounds{{
    {1, "1"}, {2, "2"}, {4, "4"}, {8, "8"}, {16, "16"}, {32, "32"}, {64, "64"}, {128, "128"}, {256, "256"}, {512, "512"},
}};

constexpr std::array<std::string_view, 5> kLimitLabels{"posting_rate", "connections_per_address", "connections_total",
                                                       "database_full", "head_too_large"};

constexpr std::size_t kOtherRoute = ServerMetrics::kRoutes.size() - 1;

std::size_t routeIndex(std::string_view route)
{
    for (std::size_t i = 0; i < kOtherRoute; ++i)
        if (ServerMetrics::kRoutes[i] == route)
            return i;
    return kOtherRoute;
}

// std::to_chars rather than streams or printf: both of those follow the
// locale, and a decimal comma or digit grouping would make the text unparsable.
void appendNumber(std::string &out, std::uint64_t value)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, end);
}

void appendNumber(std::string &out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, end);
}

// Nanoseconds as decimal seconds, exactly: no rounding through a double.
void appendSeconds(std::string &out, std::uint64_t nanoseconds)
{
    appendNumber(out, nanoseconds / 1'000'000'000);
    std::uint64_t fraction = nanoseconds % 1'000'000'000;
    if (fraction == 0)
        return;
    int places = 9;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    char digits[10];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), fraction).ptr;
    const auto written = static_cast<int>(end - digits);
    out += '.';
    out.append(static_cast<std::size_t>(places - written), '0');
    out.append(digits, end);
}

void appendFamily(std::string &out, std::string_view name, std::string_view type, std::string_view help)
{
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void appendLabel(std::string &out, std::string_view name, std::string_view value)
{
    out.append(name).append("=\"").append(escapeLabelValue(value)).append("\"");
}

template <std::size_t N, typename Hist, typename AppendSum>
void appendHistogram(std::string &out, std::string_view name, std::string_view help,
                     const std::array<Bound, N> &bounds, const Hist &histogram, AppendSum appendSum)
{
    std::array<std::uint64_t, N + 1> counts;
    std::uint64_t sum;
    {
        const std::lock_guard lock(histogram.mutex);
        counts = histogram.counts;
        sum = histogram.sum;
    }
    appendFamily(out, name, "histogram", help);
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i <= N; ++i) {
        cumulative += counts[i];
        out.append(name).append("_bucket{");
        appendLabel(out, "le", i < N ? std::string_view(bounds[i].label) : std::string_view("+Inf"));
        out.append("} ");
        appendNumber(out, cumulative);
        out += '\n';
    }
    out.append(name).append("_sum ");
    appendSum(out, sum);
    out += '\n';
    out.append(name).append("_count ");
    appendNumber(out, cumulative);
    out += '\n';
}

template <std::size_t N>
std::size_t bucketOf(const std::array<Bound, N> &bounds, std::uint64_t value)
{
    const auto above = std::lower_bound(bounds.begin(), bounds.end(), value,
                                        [](const Bound &bound, std::uint64_t v) { return bound.value < v; });
    return static_cast<std::size_t>(above - bounds.begin());
}

bool isHostNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

std::optional<int> parsePort(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    unsigned long port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port > 65535)
        return std::nullopt;
    return static_cast<int>(port);
}

// An IPv6 address as written between brackets, with an optional zone
// ("fe80::1%eth0") for link-local addresses.
bool isIpv6Literal(std::string_view text)
{
    const std::size_t percent = text.find('%');
    const std::string address(text.substr(0, percent));
    if (percent != std::string_view::npos) {
        const std::string_view zone = text.substr(percent + 1);
        if (zone.empty() || !std::all_of(zone.begin(), zone.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
            }))
            return false;
    }
    in6_addr parsed;
    return ::inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

} // namespace

ServerMetrics::ServerMetrics(std::function<std::uint64_t()> databaseBytes) : m_databaseBytes(std::move(databaseBytes))
{
}

void ServerMetrics::countRequest(std::string_view route, int status)
{
    const std::size_t slot = status >= kFirstStatus && status <= kLastStatus
        ? static_cast<std::size_t>(status - kFirstStatus)
        : kStatusSlots - 1;
    m_requests[routeIndex(route)][slot].fetch_add(1, std::memory_order_relaxed);
}

void ServerMetrics::observePosting(std::chrono::nanoseconds elapsed)
{
    const auto nanoseconds = static_cast<std::uint64_t>(std::max<std::chrono::nanoseconds::rep>(0, elapsed.count()));
    const std::size_t bucket = bucketOf(kPostingBounds, nanoseconds);
    const std::lock_guard lock(m_posting.mutex);
    ++m_posting.counts[bucket];
    m_posting.sum += nanoseconds;
}

void ServerMetrics::observeBatch(std::size_t postings)
{
    const std::size_t bucket = bucketOf(kBatchBounds, postings);
    const std::lock_guard lock(m_batch.mutex);
    ++m_batch.counts[bucket];
    m_batch.sum += postings;
}

void ServerMetrics::setDatabaseBytesSource(std::function<std::uint64_t()> source)
{
    const std::lock_guard lock(m_sourceMutex);
    m_databaseBytes = std::move(source);
}

void ServerMetrics::countRefusal(Limit limit)
{
    const auto index = static_cast<std::size_t>(limit);
    if (index < m_refusals.size())
        m_refusals[index].fetch_add(1, std::memory_order_relaxed);
}

void ServerMetrics::connectionOpened()
{
    m_openConnections.fetch_add(1, std::memory_order_relaxed);
}

void ServerMetrics::connectionClosed()
{
    std::int64_t open = m_openConnections.load(std::memory_order_relaxed);
    while (open > 0 && !m_openConnections.compare_exchange_weak(open, open - 1, std::memory_order_relaxed))
        ;
}

std::string ServerMetrics::render() const
{
    std::string out;
    out.reserve(4096);

    appendFamily(out, "pegsquare_http_requests_total", "counter", "Requests answered, by route and status.");
    for (std::size_t route = 0; route < kRoutes.size(); ++route) {
        for (std::size_t slot = 0; slot < kStatusSlots; ++slot) {
            const std::uint64_t count = m_requests[route][slot].load(std::memory_order_relaxed);
            if (count == 0)
                continue;
            out.append("pegsquare_http_requests_total{");
            appendLabel(out, "route", kRoutes[route]);
            out += ',';
            appendLabel(out, "status",
                        slot + 1 == kStatusSlots ? std::string("other") : std::to_string(kFirstStatus + slot));
            out.append("} ");
            appendNumber(out, count);
            out += '\n';
        }
    }

    appendHistogram(out, "pegsquare_posting_duration_seconds",
                    "Time from a posting's request head being read to its answer being ready.", kPostingBounds,
                    m_posting, appendSeconds);
    appendHistogram(out, "pegsquare_commit_batch_size", "Postings stored by one database commit.", kBatchBounds,
                    m_batch, [](std::string &text, std::uint64_t sum) { appendNumber(text, sum); });

    std::function<std::uint64_t()> source;
    {
        const std::lock_guard lock(m_sourceMutex);
        source = m_databaseBytes;
    }
    // A size that cannot be read is left out: a zero would claim an empty database.
    std::optional<std::uint64_t> databaseBytes;
    if (source) {
        try {
            databaseBytes = source();
        } catch (...) {
        }
    }
    if (databaseBytes) {
        appendFamily(out, "pegsquare_database_bytes", "gauge", "Size of the score database in bytes.");
        out.append("pegsquare_database_bytes ");
        appendNumber(out, *databaseBytes);
        out += '\n';
    }

    appendFamily(out, "pegsquare_refusals_total", "counter", "Requests or connections refused, by the limit reached.");
    for (std::size_t i = 0; i < kLimits; ++i) {
        out.append("pegsquare_refusals_total{");
        appendLabel(out, "limit", kLimitLabels[i]);
        out.append("} ");
        appendNumber(out, m_refusals[i].load(std::memory_order_relaxed));
        out += '\n';
    }

    appendFamily(out, "pegsquare_open_connections", "gauge", "Client connections open now.");
    out.append("pegsquare_open_connections ");
    appendNumber(out, m_openConnections.load(std::memory_order_relaxed));
    out += '\n';
    return out;
}

std::string escapeLabelValue(std::string_view value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\n': escaped += "\\n"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::optional<std::pair<std::string, int>> parseListenAddress(std::string_view text)
{
    if (text.find(':') == std::string_view::npos) {
        if (const auto port = parsePort(text))
            return std::pair<std::string, int>("127.0.0.1", *port);
        return std::nullopt;
    }
    std::string_view host;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || text.substr(close + 1, 1) != ":")
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (!isIpv6Literal(host))
            return std::nullopt;
    } else {
        // A bare IPv6 address is refused: where its last group ends and the
        // port begins would be a guess.
        const std::size_t colon = text.find(':');
        if (text.find(':', colon + 1) != std::string_view::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), isHostNameChar))
            return std::nullopt;
    }
    if (const auto number = parsePort(port))
        return std::pair<std::string, int>(std::string(host), *number);
    return std::nullopt;
}
