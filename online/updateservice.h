#pragma once

#include <QString>

#include <functional>

// What the main window asks of the update check and the self-update, and
// what they tell it back. The window shows the offer and its status line;
// the fetches and the download live behind this, so the window never owns
// a transfer.
class UpdateService {
public:
    using OfferEvent = std::function<void(const QString &offered, const QString &own)>;
    using StatusEvent = std::function<void(const QString &text)>;
    using FailedEvent = std::function<void()>;

    virtual ~UpdateService() = default;

    // Asks the vendor's server for its version text; ignored while a check
    // is still running, and when no vendor host is known.
    virtual void checkNow() = 0;
    // Downloads, verifies and starts the installer of the version offered.
    virtual void downloadit() = 0;

    // A newer version than the program's own was offered (both as text).
    OfferEvent OnOffer;
    // Each status text of a running update.
    StatusEvent OnStatus;
    // The update failed and the program goes on; the offer may stand again.
    FailedEvent OnFailed;
};
