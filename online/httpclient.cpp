#include "httpclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QIODevice>
#include <QRegularExpression>

#include <curl/curl.h>

#include <memory>

namespace {

constexpr long kOkStatus = 200;
constexpr long kFirstFinalStatus = 200;
// How long one wait for the socket may keep the GUI from its events: short
// enough that a timer or a repaint due meanwhile is hardly late (measured:
// 20 ms made every GUI timer 15 ms late during a download).
constexpr int kPollMs = 4;

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM *multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

struct Target {
    QString host;  // as written in the URL, ":port" included
    QString path;
};

Target splitUrl(QString url)
{
    const QString scheme = QStringLiteral("http://");
    if (url.startsWith(scheme, Qt::CaseInsensitive))
        url.remove(0, scheme.size());
    const qsizetype slash = url.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {url, QStringLiteral("/")};
    return {url.left(slash), url.mid(slash)};
}

// What one transfer sees while curl runs it.
struct Transfer {
    QIODevice *stream = nullptr;
    QElapsedTimer sinceActivity;
    QString statusLine;
    long status = 0;
    curl_off_t announced = -1;
    curl_off_t maxBody = 0;
    curl_off_t received = 0;
    bool streamFailed = false;
    bool tooLarge = false;
};

bool isBlankLine(const QByteArray &line) { return line.isEmpty(); }

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t bytes = size * count;
    t->sinceActivity.restart();
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    // Each new status line (after a 1xx answer) starts the head afresh.
    if (line.startsWith("HTTP/")) {
        t->statusLine = QString::fromLatin1(line);
        const QList<QByteArray> parts = line.split(' ');
        t->status = parts.size() > 1 ? parts[1].toLong() : 0;
        t->announced = -1;
    } else if (line.toLower().startsWith("content-length:")) {
        bool ok = false;
        const qlonglong length = line.mid(15).trimmed().toLongLong(&ok);
        t->announced = ok && length >= 0 ? curl_off_t(length) : -1;
    }
    // At the end of a final head the answer is judged before any of its
    // body is taken: only a 200 brings the file, and one that announces
    // more than the bound is not read at all.
    if (isBlankLine(line) && t->status >= kFirstFinalStatus) {
        if (t->status != kOkStatus)
            return 0;
        if (t->announced > t->maxBody) {
            t->tooLarge = true;
            return 0;
        }
    }
    return bytes;
}

size_t onBody(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t bytes = size * count;
    t->sinceActivity.restart();
    if (t->status != kOkStatus)
        return 0;
    if (curl_off_t(bytes) > t->maxBody - t->received) {
        t->tooLarge = true;
        return 0;
    }
    if (t->stream->write(data, qint64(bytes)) != qint64(bytes)) {
        t->streamFailed = true;
        return 0;
    }
    t->received += curl_off_t(bytes);
    return bytes;
}

QString reasonFor(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("Connection refused");
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Host not found");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("Timed out");
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return QStringLiteral("Connection closed before the answer was complete");
    default:
        return QString::fromUtf8(curl_easy_strerror(code));
    }
}

[[noreturn]] void fail(const QString &reason)
{
    throw EHttpException(reason, THttpClient::kNotCompletedStatus);
}

} // namespace

THttpClient::THttpClient(QObject *parent) : QObject(parent)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &THttpClient::Abort);
}

THttpClient::~THttpClient() = default;

bool THttpClient::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
        Abort();
    return QObject::eventFilter(watched, event);
}

void THttpClient::Abort()
{
    if (m_busy)
        m_abort = true;
}

void THttpClient::GetToStream()
{
    if (m_busy)
        fail(QStringLiteral("A download is already running"));
    if (!BodyStream)
        fail(QStringLiteral("No stream for the body"));
    const Target target = splitUrl(URL);
    if (target.host.isEmpty())
        fail(QStringLiteral("No host in the address"));

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        fail(QStringLiteral("Cannot start the download"));

    // curl writes a Host line of ours where its own would go, first after
    // the request line. So its own is switched off ("Host:" alone) and ours
    // travels in the same header entry as the User-Agent, after a line
    // break, which puts it last. Our Accept replaces curl's; no User-Agent
    // option is set, so curl adds nothing else.
    if (target.host.contains(QRegularExpression(QStringLiteral("[\\x00-\\x20\\x7f]"))))
        fail(QStringLiteral("Bad host in the address"));
    const QByteArray url = (QStringLiteral("http://") + target.host + target.path).toUtf8();
    const QByteArray acceptLine = (QStringLiteral("Accept: ") + Accept).toUtf8();
    const QByteArray agentAndHostLines =
        (QStringLiteral("User-Agent: ") + UserAgent + QStringLiteral("\r\nHost: ") + target.host).toUtf8();
    const QByteArray noCurlHost("Host:");
    curl_slist *list = nullptr;
    for (const QByteArray *line : {&noCurlHost, &acceptLine, &agentAndHostLines}) {
        curl_slist *grown = curl_slist_append(list, line->constData());
        if (!grown) {
            curl_slist_free_all(list);
            fail(QStringLiteral("Cannot start the download"));
        }
        list = grown;
    }
    const std::unique_ptr<curl_slist, ListDeleter> headers(list);

    Transfer transfer;
    transfer.stream = BodyStream;
    transfer.maxBody = curl_off_t(m_maxBodySize);
    CURL *e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(m_connectTimeoutMs));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK)
        fail(QStringLiteral("Cannot start the download"));

    m_busy = true;
    m_abort = false;
    // A filter on the application sees every event, so it watches for a
    // quit request only while a download runs.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
    struct Idle {
        THttpClient *client;
        CURLM *multi;
        CURL *easy;
        ~Idle()
        {
            if (QCoreApplication *app = QCoreApplication::instance())
                app->removeEventFilter(client);
            curl_multi_remove_handle(multi, easy);
            client->m_busy = false;
            client->m_abort = false;
        }
    } idle{this, multi.get(), e};

    transfer.sinceActivity.start();
    QElapsedTimer sinceStart;
    sinceStart.start();
    int running = 1;
    for (;;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            fail(QStringLiteral("Cannot run the download"));
        if (!running)
            break;
        if (transfer.sinceActivity.elapsed() > m_stallTimeoutMs || sinceStart.elapsed() > m_deadlineMs)
            fail(QStringLiteral("Timed out"));
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
        // The GUI stays alive; it may ask for an abort meanwhile.
        QCoreApplication::processEvents();
        if (m_abort)
            fail(QStringLiteral("Aborted"));
    }

    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    }
    if (transfer.status != kOkStatus && transfer.status >= kFirstFinalStatus)
        throw EHttpException(transfer.statusLine, int(transfer.status));
    if (transfer.tooLarge)
        fail(QStringLiteral("The answer is larger than allowed"));
    if (transfer.streamFailed)
        fail(QStringLiteral("Cannot write the received data"));
    if (result != CURLE_OK)
        fail(reasonFor(result));
    curl_off_t announced = -1;
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && announced != transfer.received)
        fail(QStringLiteral("Connection closed before the answer was complete"));
    if (transfer.received == 0)
        fail(QStringLiteral("Empty answer"));
}
