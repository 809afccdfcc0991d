#pragma once

#include "secondarywindow.h"

class TURL;

// The window that advertises the vendor's multiplayer game: an invitation,
// a call to the lobby and a picture, each of which opens the lobby page.
class Tmultiplayer : public SecondaryWindow {
    Q_OBJECT
public:

    // `vendorHost` is the vendor web server's host name with an optional
    // ":port", no scheme and no path; the invitation names its http
    // address and URL1 opens the lobby page on it.
    explicit Tmultiplayer(const QString &vendorHost);

    // The opener of the lobby page (URL1).
    TURL &url1() { return *m_url1; }

    // Shared by Label6, Label1 and Image1: opens the lobby page.
    void Label6Click();
    // Hides the window, which keeps its state.
    void button_doneClick();

private:
    void buildLayout(const QString &vendorHost);

    TURL *m_url1;
};
