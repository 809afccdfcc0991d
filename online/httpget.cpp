#include "httpget.h"

#include "httpfetch.h"
#include "httptransfer.h"

#include <QCoreApplication>
#include <QPointer>

#include <system_error>

namespace {

constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// curl would announce a POST body with "Expect: 100-continue" and wait for
// an interim answer that an HTTP/1.0 server never sends; the empty header
// turns that off.
constexpr char kNoExpect[] = "Expect:";
constexpr char kNoCache[] = "Pragma: no-cache";
constexpr int kFirstErrorStatus = 400;

// The words for failureReason(), following the server's name.
QString reasonFor(const online::FetchResult &result)
{
    using online::TransferEnd;
    if (result.success) {
        return result.status >= kFirstErrorStatus
                   ? QStringLiteral("answered with error %1").arg(result.status)
                   : QString();
    }
    switch (result.end) {
    case TransferEnd::Complete:
        return QStringLiteral("sent an empty answer");
    case TransferEnd::Refused:
        return QStringLiteral("refused the connection");
    case TransferEnd::Unreachable:
    case TransferEnd::HostNotFound:
        return QStringLiteral("could not be reached");
    case TransferEnd::TimedOut:
        return QStringLiteral("did not answer in time");
    case TransferEnd::Dropped:
        return QStringLiteral("broke off before its answer was complete");
    case TransferEnd::TooLarge:
        return QStringLiteral("sent an answer larger than allowed");
    case TransferEnd::Stopped:
        return QStringLiteral("was not heard out, as the request was cancelled");
    case TransferEnd::SetupFailed:
        return QStringLiteral("could not be asked, as its address is not valid or the request could not be set up");
    default:
        return QStringLiteral("could not be asked, as the request failed");
    }
}

} // namespace

THTTPGet::THTTPGet(QObject *parent) : QObject(parent)
{
    // On the GUI thread, before the first worker could need it.
    online::initialiseCurl();
}

THTTPGet::~THTTPGet()
{
    // Detaching first means the worker posts nothing more and leaves any
    // wait for this thread; only then is it joined, so the join cannot
    // wait on a worker that waits on us.
    if (m_link)
        m_link->detach();
    m_worker.reset();
}

void THTTPGet::Start()
{
    if (m_worker)
        return;

    // A copy of the settings: later changes do not reach a running fetch.
    online::TransferRequest request;
    request.target = online::splitUrl(URL.toUtf8());
    // An empty "Accept:" removes the header curl would add on its own.
    request.headers = {"Accept: " + online::headerValue(AcceptTypes.toUtf8()), kNoExpect};
    if (!UseCache)
        request.headers.append(kNoCache);
    if (!PostQuery.isEmpty())
        request.headers.append(kFormContentType);
    request.agent = Agent.toUtf8();
    request.referer = Referer.toUtf8();
    request.userName = UserName.toUtf8();
    request.password = Password.toUtf8();
    request.postBody = PostQuery.toUtf8();
    request.requireLength = BinaryData;
    request.connectTimeoutMs = m_connectTimeoutMs;
    request.stallTimeoutMs = m_stallTimeoutMs;
    request.deadlineMs = m_deadlineMs;
    request.maxBodySize = m_maxBodySize;

    // The posted calls are bound to this object, so Qt drops any that are
    // still queued when it is destroyed.
    auto link = std::make_shared<online::FetchLink>(
        [this](int totalSize, int readed) {
            QMetaObject::invokeMethod(
                this, [this, totalSize, readed] { progressArrived(totalSize, readed); }, Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, [this] { WorkerDone(); }, Qt::QueuedConnection); });
    try {
        m_worker = std::make_unique<std::jthread>(
            [request = std::move(request), link] { online::runFetch(request, *link); });
    } catch (const std::system_error &) {
        // No thread to run it on: the fetch fails like any other, later,
        // through the usual event.
        m_succeeded = false;
        m_status = 0;
        m_failureReason = QStringLiteral("could not be asked, as no thread could be started for the request");
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (const NotifyEvent handler = OnError)
                    handler(this);
            },
            Qt::QueuedConnection);
        return;
    }
    m_link = std::move(link);
    if (WaitThread)
        QCoreApplication::processEvents();
}

void THTTPGet::Cancel()
{
    if (m_link)
        m_link->cancel();
}

void THTTPGet::progressArrived(int totalSize, int readed)
{
    // A local reference: the handler may cancel, run a nested event loop
    // that completes the fetch, or even destroy this component.
    const std::shared_ptr<online::FetchLink> link = m_link;
    if (!link)
        return;
    struct Handled {
        online::FetchLink &link;
        ~Handled() { link.progressHandled(); }
    } handled{*link};
    if (link->cancelled())
        return;
    if (const ProgressEvent handler = OnProgress)
        handler(this, totalSize, readed);
}

void THTTPGet::WorkerDone()
{
    const std::shared_ptr<online::FetchLink> link = m_link;
    if (!link)
        return;
    const online::FetchResult result = link->takeResult();
    m_succeeded = result.success;
    m_status = result.status;
    m_failureReason = reasonFor(result);

    const QPointer<THTTPGet> alive(this);
    if (result.success) {
        if (const DoneStringEvent handler = OnDoneString)
            handler(this, result.body);
    } else if (const NotifyEvent handler = OnError) {
        handler(this);
    }
    if (!alive)
        return;
    // Only now is the component free again, so a Start() from inside the
    // handler above was ignored. The worker has already posted its last
    // call; the join is immediate.
    m_worker.reset();
    m_link.reset();
}
