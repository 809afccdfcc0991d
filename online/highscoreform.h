#pragma once

#include "onlinescores.h"
#include "secondarywindow.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class THTTPGet;
class THtmlView;
class TURL;

// The online high-score list: the page the vendor server builds, fetched
// each time the window is opened and shown in an HTML view. It also sends
// the score postings of the main window, whose wait panel the answer ends.
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
    // percent-encoded, so no name can break the request or add a key.
    void sendscore(const QString &name, const QString &date, const QString &score) override;

    // The main window's side of a posting, wired by the program: the
    // server took the score (the list is then loaded and shown), or the
    // posting failed (refused, unreachable, an error status, an empty
    // answer), with a sentence saying what the vendor's server did.
    std::function<void()> OnScorePosted;
    std::function<void(const QString &why)> OnPostingFailed;

    void getitDoneString(THTTPGet *sender, const QByteArray &result);
    void senditDoneString(THTTPGet *sender, const QByteArray &result);
    void senditError(THTTPGet *sender);
    void displayhtmlHotSpotClick(THtmlView *sender, const QString &SRC, bool &Handled);
    void button_doneClick();

    THTTPGet &getit() { return *m_getit; }
    THTTPGet &sendit() { return *m_sendit; }
    THtmlView &displayhtml() { return *m_displayhtml; }
    // The address of the list page, which relative links resolve against.
    QUrl listAddress() const;

private:
    void buildLayout();

    QString m_host;
    THTTPGet *m_getit = nullptr;
    THTTPGet *m_sendit = nullptr;
    THtmlView *m_displayhtml = nullptr;
    TURL *m_url1 = nullptr;
};
