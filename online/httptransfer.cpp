#include "httptransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <optional>
#include <utility>

namespace online {

namespace {

constexpr char kScheme[] = "http://";
constexpr qsizetype kSchemeLength = sizeof kScheme - 1;
constexpr long kOkStatus = 200;
constexpr long kFirstFinalStatus = 200;
constexpr long kLargestPort = 65535;
constexpr qsizetype kLongestPort = 5;

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM *handle) const { curl_multi_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// The easy handle stays in the multi handle only while this lives.
class MultiMembership {
public:
    MultiMembership(CURLM *multi, CURL *easy) : m_multi(multi), m_easy(easy)
    {
        m_added = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~MultiMembership()
    {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    MultiMembership(const MultiMembership &) = delete;
    MultiMembership &operator=(const MultiMembership &) = delete;
    bool added() const { return m_added; }

private:
    CURLM *m_multi;
    CURL *m_easy;
    bool m_added = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isHostName(QByteArrayView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
        return isLetter(c) || isDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

// The inside of "[…]": hex digits, ":" and (for an embedded IPv4 tail) ".".
// A zone ("%eth0") is not taken.
bool isIpv6Literal(QByteArrayView literal)
{
    return literal.contains(':') && std::all_of(literal.begin(), literal.end(), [](char c) {
               return isHexDigit(c) || c == ':' || c == '.';
           });
}

bool isPort(QByteArrayView port)
{
    if (port.isEmpty() || port.size() > kLongestPort || !std::all_of(port.begin(), port.end(), isDigit))
        return false;
    long value = 0;
    for (const char c : port)
        value = value * 10 + (c - '0');
    return value >= 1 && value <= kLargestPort;
}

// host, host:port, [v6] or [v6]:port.
bool isHostAndPort(QByteArrayView authority)
{
    QByteArrayView rest;
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0 || !isIpv6Literal(authority.sliced(1, close - 1)))
            return false;
        rest = authority.sliced(close + 1);
    } else {
        const qsizetype colon = authority.indexOf(':');
        if (!isHostName(colon < 0 ? authority : authority.first(colon)))
            return false;
        rest = colon < 0 ? QByteArrayView() : authority.sliced(colon);
    }
    return rest.isEmpty() || (rest.startsWith(':') && isPort(rest.sliced(1)));
}

bool isBlankLine(QByteArrayView line) { return line == "\r\n" || line == "\n"; }

// State the curl callbacks share with the loop, all on the running thread.
struct Transfer {
    Transfer(const TransferRequest &req, const TransferHooks &hks, CURL *handle)
        : request(req), hooks(hks), easy(handle)
    {
    }

    const TransferRequest &request;
    const TransferHooks &hooks;
    CURL *easy;
    std::optional<TransferEnd> refusal;
    // Kept in place, so taking it inside a callback cannot fail.
    std::array<char, kMaxStatusLineBytes> statusLine{};
    qsizetype statusLineLength = 0;
    bool atHeadStart = true;
    long finalStatus = 0;
    std::int64_t headBytes = 0;
    std::int64_t received = 0;
    // The connection to the host was made (the request was about to go).
    bool connected = false;
    Clock::time_point lastByte = Clock::now();

    // Ends the transfer from inside a callback; the first reason counts.
    size_t refuse(TransferEnd why)
    {
        if (!refusal)
            refusal = why;
        return 0;
    }
};

std::int64_t announcedLength(CURL *easy)
{
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return length;
}

// At the end of a final head the answer is judged before a byte of its
// body is taken: the wrong status, too large by its own announcement, or
// no length where the caller insists on one.
// curl calls this once connected, just before it sends the request.
int onConnected(void *user, char *, char *, int, int) noexcept
{
    static_cast<Transfer *>(user)->connected = true;
    return CURL_PREREQFUNC_OK;
}

size_t onHeader(char *data, size_t size, size_t count, void *user) noexcept
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    transfer->lastByte = Clock::now();
    const QByteArrayView line(data, qsizetype(length));
    // Only the first line of a head is a status line; a later one that
    // looks like it is just a header.
    const bool headStart = std::exchange(transfer->atHeadStart, false);
    if (headStart && line.startsWith("HTTP/")) {
        const QByteArrayView kept = line.first(std::min(line.size(), kMaxStatusLineBytes)).trimmed();
        std::copy(kept.begin(), kept.end(), transfer->statusLine.begin());
        transfer->statusLineLength = kept.size();
    }
    transfer->headBytes += std::int64_t(length);
    if (transfer->headBytes > kMaxHeadBytes)
        return transfer->refuse(TransferEnd::TooLarge);
    if (!isBlankLine(line))
        return length;
    transfer->atHeadStart = true;
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < kFirstFinalStatus)
        return length; // an interim answer; the real one follows
    transfer->finalStatus = status;
    const TransferRequest &request = transfer->request;
    if (request.onlyOk && status != kOkStatus)
        return transfer->refuse(TransferEnd::StatusRefused);
    const std::int64_t announced = announcedLength(transfer->easy);
    if (announced > request.maxBodySize)
        return transfer->refuse(TransferEnd::TooLarge);
    if (request.requireLength && announced < 0)
        return transfer->refuse(TransferEnd::NoLength);
    return length;
}

size_t onBody(char *data, size_t size, size_t count, void *user) noexcept
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    transfer->lastByte = Clock::now();
    if (transfer->request.onlyOk && transfer->finalStatus != kOkStatus)
        return transfer->refuse(TransferEnd::StatusRefused);
    if (std::int64_t(length) > transfer->request.maxBodySize - transfer->received)
        return transfer->refuse(TransferEnd::TooLarge);
    const TransferHooks &hooks = transfer->hooks;
    try {
        if (hooks.body && !hooks.body(QByteArrayView(data, qsizetype(length))))
            return transfer->refuse(TransferEnd::SinkRefused);
    } catch (...) {
        return transfer->refuse(TransferEnd::SinkRefused);
    }
    transfer->received += std::int64_t(length);
    try {
        if (hooks.progress && !hooks.progress(announcedLength(transfer->easy), transfer->received))
            return transfer->refuse(TransferEnd::Stopped);
    } catch (...) {
        return transfer->refuse(TransferEnd::Stopped);
    }
    // Time spent in the hooks (waiting for a GUI thread) is not a stall of
    // the server.
    transfer->lastByte = Clock::now();
    return length;
}

class Options {
public:
    explicit Options(CURL *easy) : m_easy(easy) {}
    template <typename Value>
    void set(CURLoption option, Value value)
    {
        if (m_result == CURLE_OK)
            m_result = curl_easy_setopt(m_easy, option, value);
    }
    bool ok() const { return m_result == CURLE_OK; }

private:
    CURL *m_easy;
    CURLcode m_result = CURLE_OK;
};

bool appendHeader(HeaderList &list, const QByteArray &line)
{
    curl_slist *grown = curl_slist_append(list.get(), line.constData());
    if (!grown)
        return false;
    (void)list.release();
    list.reset(grown);
    return true;
}

// The texts handed to curl; they must outlive the easy handle's use of
// them (curl copies strings, but not the header list).
struct Texts {
    QByteArray url;
    QByteArray agent;
    QByteArray referer;
};

bool configure(CURL *easy, const TransferRequest &request, const Texts &texts, curl_slist *headers,
               Transfer &transfer)
{
    Options o(easy);
    o.set(CURLOPT_URL, texts.url.constData());
    o.set(CURLOPT_PROTOCOLS_STR, "http");
    // The path goes out as written: "/../" and "/./" are not resolved here.
    o.set(CURLOPT_PATH_AS_IS, 1L);
    o.set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    o.set(CURLOPT_FOLLOWLOCATION, 0L);
    // The vendor host is reached directly; a proxy from the environment
    // would only stand between the program and a known server.
    o.set(CURLOPT_PROXY, "");
    // Worker threads must not get signals from curl's time-outs.
    o.set(CURLOPT_NOSIGNAL, 1L);
    // A stopped transfer does not wait for a name look-up still under way.
    o.set(CURLOPT_QUICK_EXIT, 1L);
    o.set(CURLOPT_CONNECTTIMEOUT_MS, long(request.connectTimeoutMs));
    o.set(CURLOPT_HTTPHEADER, headers);
    if (!texts.agent.isEmpty())
        o.set(CURLOPT_USERAGENT, texts.agent.constData());
    if (!texts.referer.isEmpty())
        o.set(CURLOPT_REFERER, texts.referer.constData());
    if (!request.userName.isEmpty() || !request.password.isEmpty()) {
        o.set(CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        o.set(CURLOPT_USERNAME, request.userName.constData());
        o.set(CURLOPT_PASSWORD, request.password.constData());
    }
    if (!request.postBody.isEmpty()) {
        o.set(CURLOPT_POST, 1L);
        o.set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.postBody.size()));
        o.set(CURLOPT_COPYPOSTFIELDS, request.postBody.constData());
    }
    o.set(CURLOPT_PREREQFUNCTION, &onConnected);
    o.set(CURLOPT_PREREQDATA, &transfer);
    o.set(CURLOPT_HEADERFUNCTION, &onHeader);
    o.set(CURLOPT_HEADERDATA, &transfer);
    o.set(CURLOPT_WRITEFUNCTION, &onBody);
    o.set(CURLOPT_WRITEDATA, &transfer);
    return o.ok();
}

// How the loop ended: on its own account, or with curl's result.
struct Driven {
    std::optional<TransferEnd> end;
    CURLcode code = CURLE_OK;
};

// The one poll loop: runs the transfer until curl finishes it, a hook
// stops it, or a time-out passes.
Driven drive(CURLM *multi, Transfer &transfer)
{
    const TransferRequest &request = transfer.request;
    const TransferHooks &hooks = transfer.hooks;
    const auto stallLimit = std::chrono::milliseconds(request.stallTimeoutMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(request.deadlineMs);
    transfer.lastByte = Clock::now();
    for (;;) {
        if (hooks.between && !hooks.between())
            return {TransferEnd::Stopped};
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return {TransferEnd::LoopFailed};
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                return {std::nullopt, message->data.result};
        }
        if (running == 0)
            return {TransferEnd::LoopFailed};
        const auto now = Clock::now();
        const auto idle = now - transfer.lastByte;
        if (idle >= stallLimit || now >= deadline)
            return {TransferEnd::TimedOut};
        // The poll ends on socket activity, on curl's own timers, on a
        // wake(), and at the latest when the stall limit, the deadline or
        // the caller's longest wait is reached.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::min<Clock::duration>(stallLimit - idle, deadline - now))
                              .count();
        const int waitMs = int(std::clamp<std::int64_t>(left, 1, std::max(hooks.maxWaitMs, 1)));
        if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
            return {TransferEnd::LoopFailed};
    }
}

TransferEnd endFor(CURLcode code, CURL *easy, QString &detail)
{
    switch (code) {
    case CURLE_OK:
        return TransferEnd::Complete;
    case CURLE_COULDNT_CONNECT: {
        // curl says the same for a refusal and for no route; the player is
        // told apart which it was, since only the first means the host is up.
        long osError = 0;
        if (curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError == ECONNREFUSED)
            return TransferEnd::Refused;
        return TransferEnd::Unreachable;
    }
    case CURLE_COULDNT_RESOLVE_HOST:
        return TransferEnd::HostNotFound;
    case CURLE_OPERATION_TIMEDOUT:
        return TransferEnd::TimedOut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return TransferEnd::Dropped;
    default:
        detail = QString::fromUtf8(curl_easy_strerror(code));
        return TransferEnd::Failed;
    }
}

} // namespace

void initialiseCurl()
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

UrlParts splitUrl(QByteArrayView url)
{
    QByteArrayView rest = url;
    if (rest.size() >= kSchemeLength && rest.first(kSchemeLength).compare(kScheme, Qt::CaseInsensitive) == 0)
        rest = rest.sliced(kSchemeLength);
    const auto hostEnd = std::find_if(rest.begin(), rest.end(), [](char c) { return c == '/' || c == '?'; });
    const QByteArrayView host = rest.first(hostEnd - rest.begin());
    const QByteArrayView path = rest.sliced(host.size());
    if (host.isEmpty())
        return {UrlFault::NoHost, {}, {}};
    if (!isHostAndPort(host))
        return {UrlFault::BadHost, {}, {}};
    return {UrlFault::None, host.toByteArray(), path.startsWith('/') ? path.toByteArray() : "/" + path.toByteArray()};
}

QByteArray escapeRequestPath(QByteArrayView path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray escaped;
    escaped.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        // curl would cut the path at "#" as the start of a fragment.
        if (byte <= 0x20 || byte >= 0x7f || c == '#') {
            escaped.append('%');
            escaped.append(kHex[byte >> 4]);
            escaped.append(kHex[byte & 0xf]);
        } else {
            escaped.append(c);
        }
    }
    return escaped;
}

QByteArray headerValue(QByteArrayView text)
{
    QByteArray value;
    value.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7f) || c == '\t')
            value.append(c);
    }
    return value;
}

struct HttpTransfer::Multi {
    MultiHandle handle{curl_multi_init()};
};

HttpTransfer::HttpTransfer() : m_multi(std::make_unique<Multi>()) {}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::wake() const
{
    if (m_multi->handle)
        curl_multi_wakeup(m_multi->handle.get());
}

TransferOutcome HttpTransfer::run(const TransferRequest &request, const TransferHooks &hooks)
{
    TransferOutcome outcome;
    if (!request.target.ok() || !m_multi->handle)
        return outcome;
    const Texts texts{kScheme + request.target.host + escapeRequestPath(request.target.path),
                      headerValue(request.agent), headerValue(request.referer)};

    // Declared in this order so that they go in the reverse one: the easy
    // handle leaves the multi handle first, and the header list outlives
    // the easy handle that points at it.
    HeaderList headers;
    for (const QByteArray &line : request.headers) {
        if (!appendHeader(headers, line))
            return outcome;
    }
    const EasyHandle easy(curl_easy_init());
    if (!easy)
        return outcome;
    Transfer transfer(request, hooks, easy.get());
    if (!configure(easy.get(), request, texts, headers.get(), transfer))
        return outcome;
    const MultiMembership membership(m_multi->handle.get(), easy.get());
    if (!membership.added())
        return outcome;

    const Driven driven = drive(m_multi->handle.get(), transfer);
    long status = 0;
    if (curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        outcome.status = int(status);
    outcome.statusLine = QByteArray(transfer.statusLine.data(), transfer.statusLineLength);
    outcome.received = transfer.received;
    if (driven.end)
        outcome.end = *driven.end;
    else if (transfer.refusal)
        outcome.end = *transfer.refusal;
    else
        outcome.end = endFor(driven.code, easy.get(), outcome.detail);
    // Time that ran out before any connection was made means the host was
    // never reached, not that it went quiet.
    if (outcome.end == TransferEnd::TimedOut && !transfer.connected)
        outcome.end = TransferEnd::Unreachable;
    // curl reports a body shorter than its Content-Length itself; this
    // keeps that true whatever curl's version.
    const std::int64_t announced = announcedLength(easy.get());
    if (outcome.end == TransferEnd::Complete && announced >= 0 && announced != transfer.received)
        outcome.end = TransferEnd::Dropped;
    return outcome;
}

} // namespace online
