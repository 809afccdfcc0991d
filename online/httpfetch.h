#pragma once

// The worker side of THTTPGet: one fetch through the transfer core on the
// calling (worker) thread, and the link over which it reports to the
// component on the GUI thread. Nothing here touches a QObject; the link
// only calls the two posting functions the component gives it.

#include "httptransfer.h"

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace online {

// What a finished fetch leaves behind.
struct FetchResult {
    bool success = false;
    int status = 0;
    QByteArray body;
    // How the transfer ended; Stopped for a cancelled fetch.
    TransferEnd end = TransferEnd::SetupFailed;
};

// Shared by the component and its worker; every member is guarded by one
// mutex. The worker posts through the given functions only while the
// component is attached, and with the mutex held, so the component's
// destructor (which detaches under the same mutex) can never race a post.
class FetchLink {
public:
    using ProgressPoster = std::function<void(int totalSize, int readed)>;
    using DonePoster = std::function<void()>;

    FetchLink(ProgressPoster postProgress, DonePoster postDone);
    FetchLink(const FetchLink &) = delete;
    FetchLink &operator=(const FetchLink &) = delete;

    // Component side.
    // Asks the worker to stop and marks the fetch failed; wakes it from its
    // wait for the network or for a progress report to be handled.
    void cancel();
    // As cancel(), and the worker posts nothing more.
    void detach();
    // The GUI thread has handled the latest progress report.
    void progressHandled();
    // Whether cancel() or detach() was called.
    bool cancelled() const;
    // Takes the result once the done report has arrived; a cancelled fetch
    // is always a failure, ended as Stopped.
    FetchResult takeResult();

    // Worker side.
    bool stopRequested() const;
    // Posts a progress report and waits until the GUI thread has handled
    // it; false when the fetch is to stop instead.
    bool reportProgress(int totalSize, int readed);
    // Stores the result and posts the done report.
    void finish(FetchResult result) noexcept;
    // The transfer the worker is running, so that cancel() can wake it;
    // null again before the transfer is destroyed.
    void setTransfer(const HttpTransfer *transfer);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    ProgressPoster m_postProgress;
    DonePoster m_postDone;
    bool m_stop = false;
    bool m_detached = false;
    const HttpTransfer *m_transfer = nullptr;
    std::uint64_t m_progressPosted = 0;
    std::uint64_t m_progressHandled = 0;
    FetchResult m_result;
};

// Runs one fetch to its end and calls link.finish() exactly once, whatever
// happens inside; everything the transfer held is released before it
// returns. The request is the component's settings as they were at its
// start, so later changes do not reach a running fetch. Any status with a
// body succeeds; a request whose target is not ok() fails without
// connecting.
void runFetch(const TransferRequest &request, FetchLink &link) noexcept;

} // namespace online
