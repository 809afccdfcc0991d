#include "httpfetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>

namespace online {

namespace {

constexpr char kScheme[] = "http://";
constexpr qsizetype kSchemeLength = sizeof kScheme - 1;
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// curl would announce a POST body with "Expect: 100-continue" and wait for
// an interim answer that an HTTP/1.0 server never sends; the empty header
// turns that off.
constexpr char kNoExpect[] = "Expect:";
constexpr char kNoCache[] = "Pragma: no-cache";

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

// cancel() may wake the multi handle only while this lives.
class WakeRegistration {
public:
    WakeRegistration(FetchLink &link, CURLM *multi) : m_link(link) { m_link.setWakeHandle(multi); }
    ~WakeRegistration() { m_link.setWakeHandle(nullptr); }
    WakeRegistration(const WakeRegistration &) = delete;
    WakeRegistration &operator=(const WakeRegistration &) = delete;

private:
    FetchLink &m_link;
};

// State the curl callbacks share with the polling loop, all on the worker
// thread.
struct Transfer {
    const FetchRequest &request;
    FetchLink &link;
    CURL *easy = nullptr;
    QByteArray body;
    std::int64_t received = 0;
    Clock::time_point lastByte = Clock::now();
};

std::int64_t announcedLength(CURL *easy)
{
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return length;
}

bool isBlankLine(const char *data, size_t length)
{
    return (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
}

// At the end of the headers the fetch can still refuse the body before a
// byte of it is taken: too large by its own announcement, or no length
// where the caller insists on one.
size_t onHeader(char *data, size_t size, size_t count, void *user) noexcept
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    transfer->lastByte = Clock::now();
    if (!isBlankLine(data, length))
        return length;
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200)
        return length; // an interim answer; the real one follows
    const std::int64_t announced = announcedLength(transfer->easy);
    if (announced > transfer->request.maxBodySize)
        return 0;
    if (transfer->request.binaryData && announced < 0)
        return 0;
    return length;
}

size_t onBody(char *data, size_t size, size_t count, void *user) noexcept
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    if (transfer->link.stopRequested())
        return 0;
    if (std::int64_t(length) > transfer->request.maxBodySize - transfer->received)
        return 0;
    try {
        transfer->body.append(data, qsizetype(length));
    } catch (...) {
        return 0;
    }
    transfer->received += std::int64_t(length);
    const std::int64_t announced = std::max<std::int64_t>(announcedLength(transfer->easy), 0);
    const int totalSize = int(std::min<std::int64_t>(announced, INT_MAX));
    const int readed = int(std::min<std::int64_t>(transfer->received, INT_MAX));
    if (!transfer->link.reportProgress(totalSize, readed))
        return 0;
    // Time spent waiting for the GUI thread is not a stall of the server.
    transfer->lastByte = Clock::now();
    return length;
}

// Host text that curl would read as something else (user name, query,
// fragment) or reject is refused here, so a fetch never goes to a host
// other than the one written before the first "/".
bool isPlainHost(const QByteArray &host)
{
    return std::all_of(host.begin(), host.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7f && c != '@' && c != '?' && c != '#' && c != '\\';
    });
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

HeaderList buildHeaders(const FetchRequest &request, bool &ok)
{
    HeaderList list;
    // An empty "Accept:" removes the header curl would add on its own.
    ok = appendHeader(list, "Accept: " + headerValue(request.accept)) && appendHeader(list, kNoExpect);
    if (ok && !request.useCache)
        ok = appendHeader(list, kNoCache);
    if (ok && !request.postQuery.isEmpty())
        ok = appendHeader(list, kFormContentType);
    return list;
}

bool configure(CURL *easy, const FetchRequest &request, const QByteArray &url, curl_slist *headers,
               Transfer &transfer)
{
    Options o(easy);
    o.set(CURLOPT_URL, url.constData());
    o.set(CURLOPT_PROTOCOLS_STR, "http");
    o.set(CURLOPT_PATH_AS_IS, 1L);
    o.set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    o.set(CURLOPT_FOLLOWLOCATION, 0L);
    // The vendor host is reached directly; a proxy from the environment
    // would only stand between the program and a known server.
    o.set(CURLOPT_PROXY, "");
    // Worker threads must not get signals from curl's time-outs.
    o.set(CURLOPT_NOSIGNAL, 1L);
    // A cancelled fetch does not wait for a name look-up still under way.
    o.set(CURLOPT_QUICK_EXIT, 1L);
    o.set(CURLOPT_CONNECTTIMEOUT_MS, long(request.connectTimeoutMs));
    o.set(CURLOPT_HTTPHEADER, headers);
    if (!request.agent.isEmpty())
        o.set(CURLOPT_USERAGENT, headerValue(request.agent).constData());
    if (!request.referer.isEmpty())
        o.set(CURLOPT_REFERER, headerValue(request.referer).constData());
    if (!request.userName.isEmpty() || !request.password.isEmpty()) {
        o.set(CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        o.set(CURLOPT_USERNAME, request.userName.constData());
        o.set(CURLOPT_PASSWORD, request.password.constData());
    }
    if (!request.postQuery.isEmpty()) {
        o.set(CURLOPT_POST, 1L);
        o.set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.postQuery.size()));
        o.set(CURLOPT_COPYPOSTFIELDS, request.postQuery.constData());
    }
    o.set(CURLOPT_HEADERFUNCTION, &onHeader);
    o.set(CURLOPT_HEADERDATA, &transfer);
    o.set(CURLOPT_WRITEFUNCTION, &onBody);
    o.set(CURLOPT_WRITEDATA, &transfer);
    return o.ok();
}

// Drives the transfer until curl finishes it; no result when it was
// stopped, stalled or the multi interface failed.
std::optional<CURLcode> drive(CURLM *multi, Transfer &transfer)
{
    const auto stallLimit = std::chrono::milliseconds(transfer.request.stallTimeoutMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(transfer.request.deadlineMs);
    transfer.lastByte = Clock::now();
    for (;;) {
        if (transfer.link.stopRequested())
            return std::nullopt;
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return std::nullopt;
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                return message->data.result;
        }
        if (running == 0)
            return std::nullopt;
        const auto now = Clock::now();
        const auto idle = now - transfer.lastByte;
        if (idle >= stallLimit || now >= deadline)
            return std::nullopt;
        // The poll ends on socket activity, on curl's own timers, on a
        // cancel (which wakes it) and at the latest when the stall limit
        // or the deadline is reached.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::min<Clock::duration>(stallLimit - idle, deadline - now))
                              .count();
        const int waitMs = int(std::clamp<std::int64_t>(left, 1, INT_MAX));
        if (curl_multi_poll(multi, nullptr, 0, waitMs, nullptr) != CURLM_OK)
            return std::nullopt;
    }
}

FetchResult fetch(const FetchRequest &request, FetchLink &link)
{
    FetchResult result;
    const std::optional<UrlParts> parts = splitUrl(request.url);
    if (!parts || !isPlainHost(parts->host))
        return result;
    const QByteArray url = kScheme + parts->host + escapeRequestPath(parts->path);

    // Declared in this order so that they go in the reverse one: the easy
    // handle leaves the multi handle first, and the header list outlives
    // every handle that points at it.
    bool headersOk = false;
    const HeaderList headers = buildHeaders(request, headersOk);
    if (!headersOk)
        return result;
    const EasyHandle easy(curl_easy_init());
    if (!easy)
        return result;
    Transfer transfer{request, link, easy.get(), {}, 0, Clock::now()};
    if (!configure(easy.get(), request, url, headers.get(), transfer))
        return result;
    const MultiHandle multi(curl_multi_init());
    if (!multi)
        return result;
    const MultiMembership membership(multi.get(), easy.get());
    if (!membership.added())
        return result;
    const WakeRegistration wake(link, multi.get());

    const std::optional<CURLcode> code = drive(multi.get(), transfer);
    long status = 0;
    if (curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        result.status = int(status);
    // A transfer that ended early (connection dropped before the announced
    // length, a refused body) fails even if some bytes came.
    result.success = code == CURLE_OK && transfer.received > 0;
    if (result.success)
        result.body = std::move(transfer.body);
    return result;
}

} // namespace

std::optional<UrlParts> splitUrl(const QByteArray &url)
{
    QByteArray rest = url;
    if (url.left(kSchemeLength).toLower() == kScheme)
        rest = url.mid(kSchemeLength);
    const qsizetype slash = rest.indexOf('/');
    if (slash <= 0)
        return std::nullopt;
    return UrlParts{rest.left(slash), rest.mid(slash)};
}

QByteArray escapeRequestPath(const QByteArray &path)
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

QByteArray headerValue(const QByteArray &text)
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

FetchLink::FetchLink(ProgressPoster postProgress, DonePoster postDone)
    : m_postProgress(std::move(postProgress)), m_postDone(std::move(postDone))
{
}

void FetchLink::cancel()
{
    const std::lock_guard lock(m_mutex);
    m_stop = true;
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM *>(m_multi));
    m_wake.notify_all();
}

void FetchLink::detach()
{
    const std::lock_guard lock(m_mutex);
    m_detached = true;
    m_stop = true;
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM *>(m_multi));
    m_wake.notify_all();
}

void FetchLink::progressHandled()
{
    const std::lock_guard lock(m_mutex);
    m_progressHandled = m_progressPosted;
    m_wake.notify_all();
}

bool FetchLink::cancelled() const
{
    const std::lock_guard lock(m_mutex);
    return m_stop;
}

FetchResult FetchLink::takeResult()
{
    const std::lock_guard lock(m_mutex);
    FetchResult result = std::move(m_result);
    if (m_stop) {
        result.success = false;
        result.body.clear();
    }
    return result;
}

bool FetchLink::stopRequested() const
{
    const std::lock_guard lock(m_mutex);
    return m_stop;
}

bool FetchLink::reportProgress(int totalSize, int readed)
{
    std::unique_lock lock(m_mutex);
    if (m_stop || m_detached)
        return false;
    const std::uint64_t ticket = ++m_progressPosted;
    try {
        m_postProgress(totalSize, readed);
    } catch (...) {
        return false;
    }
    m_wake.wait(lock, [&] { return m_stop || m_progressHandled >= ticket; });
    return !m_stop;
}

void FetchLink::finish(FetchResult result) noexcept
{
    const std::lock_guard lock(m_mutex);
    m_result = std::move(result);
    if (m_detached)
        return;
    try {
        m_postDone();
    } catch (...) {
        // Only an allocation can fail here; the component then never hears
        // of this fetch, which is still better than ending the program.
    }
}

void FetchLink::setWakeHandle(void *multi)
{
    const std::lock_guard lock(m_mutex);
    m_multi = multi;
}

void runFetch(const FetchRequest &request, FetchLink &link) noexcept
{
    FetchResult result;
    try {
        result = fetch(request, link);
    } catch (...) {
        result = FetchResult{};
    }
    link.finish(std::move(result));
}

} // namespace online
