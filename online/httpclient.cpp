#include "httpclient.h"

#include "httptransfer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>

namespace {

constexpr int kOkStatus = 200;
constexpr int kFirstFinalStatus = 200;
// How long one wait for the socket may keep the GUI from its events: short
// enough that a timer or a repaint due meanwhile is hardly late (measured:
// 20 ms made every GUI timer 15 ms late during a download).
constexpr int kPollMs = 4;

[[noreturn]] void fail(const QString &reason)
{
    throw EHttpException(reason, THttpClient::kNotCompletedStatus);
}

// Throws the exception that tells the caller how the download ended;
// returns only when the whole body arrived.
void judge(const online::TransferOutcome &outcome)
{
    using online::TransferEnd;
    // An abort, or curl failing us, says so whatever had come by then.
    if (outcome.end == TransferEnd::Stopped)
        fail(QStringLiteral("Aborted"));
    if (outcome.end == TransferEnd::SetupFailed)
        fail(QStringLiteral("Cannot start the download"));
    if (outcome.end == TransferEnd::LoopFailed)
        fail(QStringLiteral("Cannot run the download"));
    // Only a 200 answer brings the file; any other carries its status.
    if (outcome.status >= kFirstFinalStatus && outcome.status != kOkStatus)
        throw EHttpException(QString::fromLatin1(outcome.statusLine), outcome.status);
    switch (outcome.end) {
    case TransferEnd::Complete:
        if (outcome.received == 0)
            fail(QStringLiteral("Empty answer"));
        return;
    case TransferEnd::TimedOut:
        fail(QStringLiteral("Timed out"));
    case TransferEnd::Refused:
        fail(QStringLiteral("Connection refused"));
    case TransferEnd::HostNotFound:
        fail(QStringLiteral("Host not found"));
    case TransferEnd::Unreachable:
        fail(QStringLiteral("Host unreachable"));
    case TransferEnd::TooLarge:
        fail(QStringLiteral("The answer is larger than allowed"));
    case TransferEnd::SinkRefused:
        fail(QStringLiteral("Cannot write the received data"));
    case TransferEnd::Failed:
        fail(outcome.detail);
    default:
        fail(QStringLiteral("Connection closed before the answer was complete"));
    }
}

} // namespace

THttpClient::THttpClient(QObject *parent) : QObject(parent)
{
    online::initialiseCurl();
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
    online::TransferRequest request;
    request.target = online::splitUrl(URL.toUtf8());
    if (request.target.fault == online::UrlFault::NoHost)
        fail(QStringLiteral("No host in the address"));
    if (!request.target.ok())
        fail(QStringLiteral("Bad host in the address"));

    // curl writes a Host line of ours where its own would go, first after
    // the request line. So its own is switched off ("Host:" alone) and ours
    // travels in the same header entry as the User-Agent, after a line
    // break, which puts it last. Our Accept replaces curl's; no User-Agent
    // option is set, so curl adds nothing else.
    request.headers = {"Host:", "Accept: " + online::headerValue(Accept.toUtf8()),
                       "User-Agent: " + online::headerValue(UserAgent.toUtf8()) + "\r\nHost: "
                           + request.target.host};
    request.onlyOk = true;
    request.connectTimeoutMs = m_connectTimeoutMs;
    request.stallTimeoutMs = m_stallTimeoutMs;
    request.deadlineMs = m_deadlineMs;
    request.maxBodySize = m_maxBodySize;

    QIODevice *const stream = BodyStream;
    online::TransferHooks hooks;
    hooks.body = [stream](QByteArrayView piece) { return stream->write(piece.data(), piece.size()) == piece.size(); };
    // The GUI stays alive while the download runs; it may ask for an abort
    // meanwhile.
    hooks.between = [this] {
        QCoreApplication::processEvents();
        return !m_abort;
    };
    hooks.maxWaitMs = kPollMs;

    m_busy = true;
    m_abort = false;
    // A filter on the application sees every event, so it watches for a
    // quit request only while a download runs.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
    struct Idle {
        THttpClient *client;
        ~Idle()
        {
            if (QCoreApplication *app = QCoreApplication::instance())
                app->removeEventFilter(client);
            client->m_busy = false;
            client->m_abort = false;
        }
    } idle{this};

    online::HttpTransfer transfer;
    judge(transfer.run(request, hooks));
}
