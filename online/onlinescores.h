#pragma once

#include <QString>

// What the main window asks of the online high-score list: load it, and
// post a finished game. The main window relies on nothing these return.
class OnlineScores {
public:
    virtual ~OnlineScores() = default;

    // Starts fetching the list page into the list window.
    virtual void loadit() = 0;
    // Posts `score` for `name` on `date` (month/day/two-digit year).
    virtual void sendscore(const QString &name, const QString &date, const QString &score) = 0;
};
