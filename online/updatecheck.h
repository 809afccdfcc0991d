#pragma once

#include "updateservice.h"

#include <QByteArray>
#include <QString>

#include <memory>

class THTTPGet;
class TUpdater;

// The update check and the self-update behind UpdateService: the version
// text fetched by `checkupdate` is compared with the program's own, and an
// accepted offer is handed to the updater.
//
// Only a strictly newer dotted version is offered. An equal or older one, a
// text that is no version, a failed fetch and an error status (400 or more)
// offer nothing; when the player asked, they are told which it was.
class UpdateCheck : public UpdateService {
public:
    // `vendorHost` is host[:port] of the vendor web server; empty makes no
    // check. `ownVersion` is the version the player sees in the about window.
    UpdateCheck(const QString &vendorHost, const QString &ownVersion);
    ~UpdateCheck() override;

    void checkNow(Asked asked) override;
    void downloadit() override;

    // The version file's address on the vendor's server.
    QString versionFileUrl() const;
    const QString &ownVersion() const { return m_ownVersion; }

    // The version text has arrived.
    void checkupdateDoneString(THTTPGet *sender, const QByteArray &result);
    // The fetch failed: refused, unreachable, timed out, empty.
    void checkupdateError(THTTPGet *sender);

    THTTPGet &checkupdate() { return *m_checkupdate; }
    TUpdater &updater() { return *m_updater; }

private:
    QString m_host;
    QString m_ownVersion;
    // The player asked for the check under way (or about to start).
    bool m_playerAsked = false;
    std::unique_ptr<THTTPGet> m_checkupdate;
    std::unique_ptr<TUpdater> m_updater;
};
