#pragma once

#include "httpclient.h"

#include <QString>
#include <QStringList>

#include <functional>

// The self-update: downloads the installer beside the running program,
// checks its signature, and only then moves the program's file aside,
// starts the installer silently and ends the process. The main window
// shows the status texts and drives the steps.
//
// An installer is run only when its minisign signature, fetched from beside
// it, was made with the vendor's key (publicKey) and its trusted comment
// reads "pegsquare VERSION pegsetup.exe" for the version offered. Until
// then the program keeps its name, the download lives in a new file that
// only this user may read (never a file or link found in the folder), and
// nothing is executable; whatever fails, that file is deleted.
class TUpdater {
public:
    using LaunchEvent = std::function<bool(const QString &path, const QStringList &arguments)>;
    using ExitEvent = std::function<void(int status)>;
    using StatusEvent = std::function<void(const QString &text)>;
    using FailedEvent = std::function<void()>;

    static constexpr qint64 kMaxInstallerBytes = 256 * 1024 * 1024;
    static constexpr qint64 kMaxSignatureBytes = 4 * 1024;
    // The whole installer download, and the signature's, may take this long.
    static constexpr int kInstallerDeadlineMs = 15 * 60'000;
    static constexpr int kSignatureDeadlineMs = 60'000;

    // `vendorHost` is host[:port] of the vendor web server.
    explicit TUpdater(const QString &vendorHost);

    void setVendorHost(const QString &host) { m_host = host; }
    // The version the offer names; the signature must be for it.
    void setOfferedVersion(const QString &version) { m_offeredVersion = version; }
    const QString &offeredVersion() const { return m_offeredVersion; }

    // The running program's file; QCoreApplication::applicationFilePath()
    // unless set.
    QString programPath;
    // The vendor's minisign public key (its base64 line); the build's unless set.
    QString publicKey;
    // Starts the installer; platform::launchDetached unless set.
    LaunchEvent Launch;
    // Ends the process at once, saving nothing; std::_Exit unless set.
    ExitEvent Exit;
    // Each status text, for the update panel's status line.
    StatusEvent OnStatus;
    // The update failed and the program goes on; the offer may be made again.
    FailedEvent OnFailed;
    // Bounds of the installer download.
    qint64 maxInstallerBytes = kMaxInstallerBytes;
    int installerDeadlineMs = kInstallerDeadlineMs;

    QString installerUrl() const;
    QString signatureUrl() const;
    // The program's path with its extension (none on Linux) replaced by
    // ".BAK".
    QString backupPath() const;
    // The program's folder followed by the installer URL's last segment.
    QString installerPath() const;
    // What the signature's trusted comment must say.
    QString expectedTrustedComment() const;

    // Runs the update: downloadit().
    void update();
    // Downloads, verifies and starts the installer; on success calls
    // Exit(0). On failure it leaves a status text ("Download Aborted",
    // "Update not verified") or shows a message, deletes the download,
    // gives the program its own name back, calls OnFailed, and the program
    // goes on running.
    void downloadit();

    THttpClient &getupdate() { return m_getupdate; }

private:
    void status(const QString &text) const;
    void failed(const QString &message = QString());
    bool isSigned(int fd);
    bool moveProgramAside();
    void restoreProgram();

    QString m_host;
    QString m_offeredVersion;
    THttpClient m_getupdate;
    bool m_movedAside = false;
};
