#pragma once

// The one HTTP transfer core under THTTPGet and THttpClient: how a URL is
// taken apart, and one request run through libcurl on the calling thread
// with one poll loop, the time-outs and the body bound. It never touches a
// QObject; the two components decide on which thread it runs and what its
// outcome means to their callers.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>

namespace online {

// Does curl's process-wide set-up once. Each component calls it on the GUI
// thread when it is made, before any transfer could start.
void initialiseCurl();

enum class UrlFault { None, NoHost, BadHost };

// A URL taken apart: the host as written (an IPv6 literal in brackets and
// ":port" included), and the path from its first "/" on, query included.
struct UrlParts {
    UrlFault fault = UrlFault::None;
    QByteArray host;
    QByteArray path;
    bool ok() const { return fault == UrlFault::None; }
};

// Splits [http://]host[:port][/path][?query]. The scheme is optional and
// may be in any letter case; the host ends at the first "/" or "?". A bare
// host means the path "/", and a query straight after the host is a query
// of "/". The host must be a name (letters, digits, "-", ".", "_") or an
// IPv6 literal in brackets, optionally followed by ":" and a port from 1 to
// 65535. No host at all gives NoHost; anything else (another scheme, a
// user name, blanks, an empty or bad port) gives BadHost, so a request
// never goes to a host other than the one that can be read off the text.
// The path is returned as written.
UrlParts splitUrl(QByteArrayView url);

// The path with the bytes that cannot stand in a request line (blank,
// control, non-ASCII) and "#" percent-encoded; "%" is not touched, so an
// already encoded path goes out as written. Every other byte is kept.
QByteArray escapeRequestPath(QByteArrayView path);

// A header value with the bytes removed that would end the header line or
// the C string curl reads it as (control characters; a tab stays).
QByteArray headerValue(QByteArrayView text);

// One HTTP/1.0 request, sent directly (never through a proxy) to the host
// it names; a redirect is an answer like any other, never followed.
struct TransferRequest {
    UrlParts target;
    // Header lines exactly as curl takes them; "Name:" alone removes the
    // line curl would add by itself.
    QList<QByteArray> headers;
    // Each sent only when non-empty; control characters are dropped.
    QByteArray agent;
    QByteArray referer;
    // HTTP basic authentication when either is non-empty.
    QByteArray userName;
    QByteArray password;
    // Non-empty: a POST with this body. Empty: a GET.
    QByteArray postBody;
    // Refuse an answer without a Content-Length before its body is read.
    bool requireLength = false;
    // Take a body only from a 200 answer; any other final status ends the
    // transfer at its head.
    bool onlyOk = false;
    // Time to connect (name look-up included); 0 leaves curl's own.
    int connectTimeoutMs = 0;
    // No byte for this long (from the start until the first byte, then
    // between bytes) ends the transfer as timed out.
    int stallTimeoutMs = 0;
    // The whole transfer, from its start.
    int deadlineMs = 0;
    // The largest body taken, by its announcement or by count.
    std::int64_t maxBodySize = 0;
};

// How a transfer ended.
enum class TransferEnd {
    Complete,       // the whole answer arrived
    SetupFailed,    // curl could not be set up for it (or the target was not ok())
    LoopFailed,     // curl's multi interface failed while running it
    Stopped,        // a hook asked to stop
    TimedOut,       // connected, then the stall time-out or the deadline passed
    Refused,        // the connection was refused
    Unreachable,    // no connection was made: no route to the host, or the time ran out before one
    HostNotFound,   // the name did not resolve
    Dropped,        // the connection ended before the answer was complete
    StatusRefused,  // onlyOk, and the final status was another
    TooLarge,       // the body over maxBodySize (announced or counted), or the head over kMaxHeadBytes
    NoLength,       // requireLength, and no Content-Length came
    SinkRefused,    // the body hook refused a piece
    Failed,         // anything else; `detail` has curl's text
};

struct TransferOutcome {
    TransferEnd end = TransferEnd::SetupFailed;
    // The final HTTP status; 0 when no answer came.
    int status = 0;
    // That answer's status line as received, trimmed, at most
    // kMaxStatusLineBytes long.
    QByteArray statusLine;
    // The body bytes taken.
    std::int64_t received = 0;
    QString detail;
};

// How the component running a transfer takes part in it. Every hook runs
// on the thread that runs the transfer, never after run() returns.
struct TransferHooks {
    // Takes each piece of the body, already within the bound; false ends
    // the transfer as SinkRefused.
    std::function<bool(QByteArrayView piece)> body;
    // After each piece: the announced length (-1 when none) and the bytes
    // taken so far. False ends the transfer as Stopped. Time spent here
    // does not count against the stall time-out.
    std::function<bool(std::int64_t announced, std::int64_t received)> progress;
    // Before each turn of the loop; false ends the transfer as Stopped.
    std::function<bool()> between;
    // The longest single wait for the network, so that `between` runs at
    // least this often.
    int maxWaitMs = INT_MAX;
};

// Maximum length kept of an answer's status line.
inline constexpr qsizetype kMaxStatusLineBytes = 256;
// The most head bytes taken from one answer, interim heads included. The
// vendor's heads carry a few hundred bytes; this only stops a server that
// sends head lines without end.
inline constexpr std::int64_t kMaxHeadBytes = 64 * 1024;

// Runs one request at a time on the calling thread. wake() may be called
// from any thread while the object lives.
class HttpTransfer {
public:
    HttpTransfer();
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer &) = delete;
    HttpTransfer &operator=(const HttpTransfer &) = delete;

    // Runs `request` to its end and reports how it ended. Every curl handle
    // it made is released before it returns or throws; only `between` may
    // throw through it, while an exception from the body or progress hook
    // ends the transfer as that hook's refusal. Empty hooks are skipped (an
    // empty body hook throws the body away).
    TransferOutcome run(const TransferRequest &request, const TransferHooks &hooks);
    // Cuts short run()'s current wait for the network, so that its next
    // turn asks `between` at once.
    void wake() const;

private:
    struct Multi;
    std::unique_ptr<Multi> m_multi;
};

} // namespace online
