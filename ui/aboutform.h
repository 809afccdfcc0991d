#pragma once

#include "secondarywindow.h"

class TURL;

// The about window: the product's title picture, the vendor's web address
// as a link, and the program's version. The text of its `version` label
// is the version the update check compares with the vendor's.
class Tabout : public SecondaryWindow {
    Q_OBJECT
public:
    // `vendorHost` is the vendor web server's host name with an optional
    // ":port", no scheme and no path; the link label shows it as an
    // http address and URL1 opens it.
    explicit Tabout(const QString &vendorHost);

    // The opener of the vendor's web address (URL1). The main window's
    // maker strip opens the same address through it.
    TURL &url1() { return *m_url1; }

    // Opens the vendor's web address.
    void Label7Click();
    // The Done button: hides the window, which keeps its state.
    void Button1Click();

private:
    void buildLayout(const QString &vendorHost);

    TURL *m_url1;
};
