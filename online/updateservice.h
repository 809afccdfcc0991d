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
    using TextEvent = std::function<void(const QString &text)>;

    // Who asked for a check: the one at start says nothing unless there is
    // an offer; one the player asked for always gets an answer.
    enum class Asked { AtStart, ByPlayer };

    virtual ~UpdateService() = default;

    // Asks the vendor's server for its version text; a check still running
    // is not started again (the player's asking then applies to it). With
    // no vendor host known nothing is fetched, and a player who asked is
    // told so.
    virtual void checkNow(Asked asked) = 0;
    // Downloads, verifies and starts the installer of the version offered.
    virtual void downloadit() = 0;

    // A newer version than the program's own was offered (both as text).
    OfferEvent OnOffer;
    // The player asked, and there is nothing newer: the sentence to show.
    TextEvent OnUpToDate;
    // The player asked, and the check could not be made: the sentence to
    // show, leading with what happened.
    TextEvent OnCheckFailed;
    // Each status text of a running update.
    StatusEvent OnStatus;
    // The update failed and the program goes on; the offer may stand again.
    FailedEvent OnFailed;
};
