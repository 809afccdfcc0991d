#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>

class QIODevice;

// A download that could not be completed or that the server refused.
// Failures without an HTTP status (refused, unresolvable, dropped, timed
// out, aborted, busy) carry the status 404.
class EHttpException : public std::runtime_error {
public:
    EHttpException(const QString &reason, int statusCode)
        : std::runtime_error(reason.toStdString()), m_reason(reason), m_statusCode(statusCode)
    {
    }
    const QString &reason() const { return m_reason; }
    int statusCode() const { return m_statusCode; }

private:
    QString m_reason;
    int m_statusCode;
};

// A synchronous HTTP/1.0 client for the installer download. GetToStream()
// runs on the calling (GUI) thread and keeps processing its events while it
// waits, so windows repaint and menus stay usable.
//
// The request is exactly the request line and the header lines Accept,
// User-Agent and Host, in that order: nothing else is sent.
class THttpClient : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultConnectTimeoutMs = 10'000;
    static constexpr int kDefaultStallTimeoutMs = 20'000;
    // Time allowed for the whole download, so a server that trickles a
    // byte now and then cannot keep it going for ever.
    static constexpr int kDefaultDeadlineMs = 15 * 60'000;
    static constexpr qint64 kDefaultMaxBodySize = 256 * 1024 * 1024;
    static constexpr int kNotCompletedStatus = 404;

    explicit THttpClient(QObject *parent = nullptr);
    ~THttpClient() override;

    // [http://]host[:port][/path][?query], taken apart as THTTPGet takes
    // its URL: the port is 80 when none is given, a bare host means the
    // path "/", and the path goes out as written but for the bytes that
    // cannot stand in a request line, which are percent-encoded.
    QString URL;
    // Receives the body; set before GetToStream(), cleared by the caller.
    QIODevice *BodyStream = nullptr;
    QString UserAgent = QStringLiteral("Mozilla/3.0 (compatible)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");

    // Fetches URL into BodyStream and returns when the whole body has
    // arrived. Only a 200 answer has a body: any other status (a redirect
    // included) throws EHttpException with that status, and nothing of
    // that answer is written. Throws with status 404 for: a refused,
    // unresolvable or dropped connection, a stall, the deadline passed, a
    // body shorter than its Content-Length, a body over the bound (by its
    // announcement or by count), a head without end, an empty body, a
    // stream that refuses bytes, an abort, a URL without a usable host,
    // and a call while busy. Bytes already written to BodyStream stay
    // there; the caller decides what to do with them.
    void GetToStream();
    // Makes a running GetToStream() throw as aborted; also done when the
    // application is asked to quit. Does nothing when idle.
    void Abort();
    bool isBusy() const { return m_busy; }

    // Time allowed to connect (name look-up included), in milliseconds.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // A download that receives no byte for this long fails; counted from
    // the start until the first byte, then between bytes.
    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    // Time allowed for the whole download, from the call on.
    void setDeadline(int ms) { m_deadlineMs = ms; }
    // The largest body taken; a longer one fails the download.
    void setMaxBodySize(qint64 bytes) { m_maxBodySize = bytes; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    int m_stallTimeoutMs = kDefaultStallTimeoutMs;
    int m_deadlineMs = kDefaultDeadlineMs;
    qint64 m_maxBodySize = kDefaultMaxBodySize;
    bool m_busy = false;
    bool m_abort = false;
};
