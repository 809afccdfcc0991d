#pragma once

#include "httpclient.h"

#include <QString>
#include <QStringList>

#include <functional>

// The self-update: moves the running program's file aside, downloads the
// installer beside it, starts the installer silently and ends the process.
// The main window shows the status texts and drives the steps.
//
// When the download or the start fails, the program file gets its own name
// back, so the next start still works; a failed or short download is
// deleted and never started.
class TUpdater {
public:
    using LaunchEvent = std::function<bool(const QString &path, const QStringList &arguments)>;
    using ExitEvent = std::function<void(int status)>;
    using StatusEvent = std::function<void(const QString &text)>;

    // `vendorHost` is host[:port] of the vendor web server.
    explicit TUpdater(const QString &vendorHost);

    void setVendorHost(const QString &host) { m_host = host; }
    // The running program's file; QCoreApplication::applicationFilePath()
    // unless set.
    QString programPath;
    // Starts the installer; platform::launchDetached unless set.
    LaunchEvent Launch;
    // Ends the process at once, saving nothing; std::_Exit unless set.
    ExitEvent Exit;
    // Each status text, for the update panel's status line.
    StatusEvent OnStatus;

    QString installerUrl() const;
    // The program's path with its extension (none on Linux) replaced by
    // ".BAK".
    QString backupPath() const;
    // The program's folder followed by the installer URL's last segment.
    QString installerPath() const;

    // Replaces an old backup with the running program's file, then
    // downloadit().
    void update();
    // Downloads and starts the installer; on success calls Exit(0). On
    // failure it leaves a status text ("Download Aborted") or shows the
    // error message, and the program goes on running.
    void downloadit();

    THttpClient &getupdate() { return m_getupdate; }

private:
    void status(const QString &text) const;
    void restoreProgram();

    QString m_host;
    THttpClient m_getupdate;
    bool m_movedAside = false;
};
