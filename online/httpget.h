#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace online {
class FetchLink;
}

// Fetches one HTTP resource on a worker thread and hands the body to the
// GUI thread through its events. A window owns one per kind of request
// (the update check, posting a score, reading the score list).
//
// Every fetch is a fresh HTTP/1.0 connection to "http://" + the URL's host
// (no proxy, no redirects followed). It succeeds when it ends with a
// non-empty body, whatever the HTTP status: an error page is delivered like
// any other text, and status() tells it apart. An empty body, a refused or
// timed-out connection, a stall, the deadline passed, a dropped transfer, a
// body over maxBodySize(), a head without end and a cancel are failures.
//
// Events run on the thread that owns the component, one at a time; none
// reaches a component after it is destroyed.
class THTTPGet : public QObject {
    Q_OBJECT
public:
    using ProgressEvent = std::function<void(THTTPGet *sender, int totalSize, int readed)>;
    using DoneStringEvent = std::function<void(THTTPGet *sender, const QByteArray &result)>;
    using NotifyEvent = std::function<void(THTTPGet *sender)>;

    static constexpr int kDefaultConnectTimeoutMs = 10'000;
    static constexpr int kDefaultStallTimeoutMs = 20'000;
    // A whole fetch, so a server trickling a byte now and then cannot hold
    // a worker (and the request it stands for) for ever.
    static constexpr int kDefaultDeadlineMs = 60'000;
    static constexpr std::int64_t kDefaultMaxBodySize = 16 * 1024 * 1024;

    explicit THTTPGet(QObject *parent = nullptr);
    // Cancels a running fetch and waits for its worker to wind down, which
    // takes no longer than closing its connection.
    ~THTTPGet() override;

    // Settings, read by Start() and copied into the fetch it begins.
    // The Accept header; empty sends none.
    QString AcceptTypes = QStringLiteral("*/*");
    // The User-Agent header; empty sends none.
    QString Agent = QStringLiteral("Pegsquare HTTPGet");
    // When set, an answer without a Content-Length fails before its body is
    // read.
    bool BinaryData = false;
    // [http://]host[:port][/path][?query]; a bare host means the path "/".
    // The path goes out as written, only blanks, control characters, "#"
    // and non-ASCII bytes (as UTF-8) are percent-encoded. A URL without a
    // host, or with one that is not a plain name or [IPv6] literal with an
    // optional port, fails the fetch without connecting.
    QString URL;
    // When false every request carries "Pragma: no-cache".
    bool UseCache = false;
    // HTTP basic authentication when either is non-empty.
    QString UserName;
    QString Password;
    // Non-empty: a POST with this text (UTF-8) as a form-encoded body.
    // Empty: a GET without a body.
    QString PostQuery;
    // The Referer header; empty sends none.
    QString Referer;
    // When set, Start() processes the calling thread's pending events once
    // after starting the worker. It never waits for the fetch.
    bool WaitThread = false;

    // After each piece of the body: totalSize is the Content-Length (0 when
    // the answer has none), readed the bytes received so far. The worker
    // reads on only after this has run.
    ProgressEvent OnProgress;
    // A successful fetch, with the body exactly as received.
    DoneStringEvent OnDoneString;
    // A failed or cancelled fetch.
    NotifyEvent OnError;

    // Begins a fetch with a copy of the settings above; does nothing while
    // a fetch is running, including from inside this component's own
    // completion event.
    void Start();
    // Asks a running fetch to stop; it then completes once, as a failure.
    // Returns at once; does nothing when no fetch is running.
    void Cancel();

    // Whether a fetch is running (until its completion event has run).
    bool isBusy() const { return m_worker != nullptr; }
    // Whether the last completed fetch succeeded.
    bool succeeded() const { return m_succeeded; }
    // The HTTP status of the last completed fetch; 0 when no answer came.
    int status() const { return m_status; }
    // Why the last completed fetch brought no usable answer, in words that
    // follow the server's name in a sentence: "refused the connection",
    // "could not be reached", "did not answer in time", "answered with
    // error 503" (a status of 400 or more counts here although the fetch
    // succeeded). Empty when it succeeded with a lower status, and before
    // the first fetch has completed.
    QString failureReason() const { return m_failureReason; }

    // Time allowed to connect (name look-up included), in milliseconds.
    int connectTimeout() const { return m_connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // A fetch that receives no byte for this long, in milliseconds, fails;
    // counted from its start until the first byte, then between bytes.
    int stallTimeout() const { return m_stallTimeoutMs; }
    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    // Time allowed for the whole fetch, in milliseconds, from its start.
    int deadline() const { return m_deadlineMs; }
    void setDeadline(int ms) { m_deadlineMs = ms; }
    // The largest body accepted, in bytes; larger ones fail the fetch, also
    // when only the Content-Length announces more.
    std::int64_t maxBodySize() const { return m_maxBodySize; }
    void setMaxBodySize(std::int64_t bytes) { m_maxBodySize = bytes; }

private:
    void progressArrived(int totalSize, int readed);
    void WorkerDone();

    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    int m_stallTimeoutMs = kDefaultStallTimeoutMs;
    int m_deadlineMs = kDefaultDeadlineMs;
    std::int64_t m_maxBodySize = kDefaultMaxBodySize;
    bool m_succeeded = false;
    int m_status = 0;
    QString m_failureReason;
    std::shared_ptr<online::FetchLink> m_link;
    std::unique_ptr<std::jthread> m_worker;
};
