#pragma once

#include "onlinescores.h"
#include "ownentry.h"
#include "secondarywindow.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class THTTPGet;
class THtmlView;
class TURL;
class TagLabel;

// The online high-score list: the page the vendor server builds, fetched
// each time the window is opened and shown in an HTML view. It also sends
// the score postings of the main window, whose wait panel the answer ends.
//
// The view always has words: before the first list arrives it says the
// list is being fetched, and a fetch that fails says so, why, and how to
// try again, in the view when no list was shown yet and in the status line
// below it otherwise (the list last fetched then stays in view).
class Thighscore : public SecondaryWindow, public OnlineScores {
    Q_OBJECT
public:
    // `vendorHost` is the vendor web server's host[:port].
    explicit Thighscore(const QString &vendorHost);
    ~Thighscore() override;

    // Starts fetching the list page (ignored while a fetch runs); the page
    // replaces the view's document when it arrives.
    void loadit() override;
    // Posts a finished game (ignored while a posting runs). The values are
    // percent-encoded, so no name can break the request or add a key. Once
    // the server has taken it, its row is marked in every list shown until
    // the next posting is taken.
    void sendscore(const QString &name, const QString &date, const QString &score) override;

    // The main window's side of a posting, wired by the program: the
    // server took the score (the list is then loaded and shown), or the
    // posting failed (refused, unreachable, an error status, an empty
    // answer), with a sentence saying what the vendor's server did.
    std::function<void()> OnScorePosted;
    std::function<void(const QString &why)> OnPostingFailed;

    void getitDoneString(THTTPGet *sender, const QByteArray &result);
    void getitError(THTTPGet *sender);
    void senditDoneString(THTTPGet *sender, const QByteArray &result);
    void senditError(THTTPGet *sender);
    void displayhtmlHotSpotClick(THtmlView *sender, const QString &SRC, bool &Handled);
    void button_doneClick();

    THTTPGet &getit() { return *m_getit; }
    THTTPGet &sendit() { return *m_sendit; }
    THtmlView &displayhtml() { return *m_displayhtml; }
    // The line under the view saying how the last fetch went; empty once
    // a list has arrived.
    QString statusText() const;
    // The address of the list page, which relative links resolve against.
    QUrl listAddress() const;

private:
    void buildLayout();

    QString m_host;
    THTTPGet *m_getit = nullptr;
    THTTPGet *m_sendit = nullptr;
    THtmlView *m_displayhtml = nullptr;
    TagLabel *m_status = nullptr;
    // A page from the server is in view (not one of ours saying why not).
    bool m_listShown = false;
    // The posting under way, and the last one the server took.
    online::OwnEntry m_posting;
    online::OwnEntry m_ownEntry;
    TURL *m_url1 = nullptr;
};
