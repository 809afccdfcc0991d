#include "httpfetch.h"

#include "httptransfer.h"

#include <algorithm>
#include <climits>

namespace online {

namespace {

// cancel() may wake the transfer only while this lives.
class WakeRegistration {
public:
    WakeRegistration(FetchLink &link, const HttpTransfer &transfer) : m_link(link) { m_link.setTransfer(&transfer); }
    ~WakeRegistration() { m_link.setTransfer(nullptr); }
    WakeRegistration(const WakeRegistration &) = delete;
    WakeRegistration &operator=(const WakeRegistration &) = delete;

private:
    FetchLink &m_link;
};

FetchResult fetch(const TransferRequest &request, FetchLink &link)
{
    QByteArray body;
    TransferHooks hooks;
    hooks.body = [&body](QByteArrayView piece) {
        body.append(piece);
        return true;
    };
    hooks.progress = [&link](std::int64_t announced, std::int64_t received) {
        const int totalSize = int(std::clamp<std::int64_t>(announced, 0, INT_MAX));
        const int readed = int(std::min<std::int64_t>(received, INT_MAX));
        return link.reportProgress(totalSize, readed);
    };
    // cancel() wakes the wait, so the worker needs no shorter one.
    hooks.between = [&link] { return !link.stopRequested(); };

    HttpTransfer transfer;
    const WakeRegistration wake(link, transfer);
    const TransferOutcome outcome = transfer.run(request, hooks);
    FetchResult result;
    result.status = outcome.status;
    result.end = outcome.end;
    // Any status with a body is an answer; a transfer that ended early
    // (connection dropped before the announced length, a refused body)
    // fails even if some bytes came.
    result.success = outcome.end == TransferEnd::Complete && outcome.received > 0;
    if (result.success)
        result.body = std::move(body);
    return result;
}

} // namespace

FetchLink::FetchLink(ProgressPoster postProgress, DonePoster postDone)
    : m_postProgress(std::move(postProgress)), m_postDone(std::move(postDone))
{
}

void FetchLink::cancel()
{
    const std::lock_guard lock(m_mutex);
    m_stop = true;
    if (m_transfer)
        m_transfer->wake();
    m_wake.notify_all();
}

void FetchLink::detach()
{
    const std::lock_guard lock(m_mutex);
    m_detached = true;
    m_stop = true;
    if (m_transfer)
        m_transfer->wake();
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
        result.end = TransferEnd::Stopped;
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

void FetchLink::setTransfer(const HttpTransfer *transfer)
{
    const std::lock_guard lock(m_mutex);
    m_transfer = transfer;
}

void runFetch(const TransferRequest &request, FetchLink &link) noexcept
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
