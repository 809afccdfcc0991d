#include "updatecheck.h"

#include "dottedversion.h"
#include "httpget.h"
#include "updater.h"
#include "vendorpaths.h"

#include <optional>
#include <utility>

namespace {
// HTTP statuses from here on are error pages, never a version text.
constexpr int kFirstErrorStatus = 400;

const QString kTryAgain = QStringLiteral("\n\nChoose Help \u2192 Check for Update Now to try again later.");
} // namespace

UpdateCheck::UpdateCheck(const QString &vendorHost, const QString &ownVersion)
    : m_host(vendorHost)
    , m_ownVersion(ownVersion)
    , m_checkupdate(std::make_unique<THTTPGet>())
    , m_updater(std::make_unique<TUpdater>(vendorHost))
{
    m_checkupdate->setObjectName(QStringLiteral("checkupdate"));
    m_checkupdate->AcceptTypes = QStringLiteral("*/*");
    m_checkupdate->Agent = QStringLiteral("Pegsquare HTTPGet");
    m_checkupdate->BinaryData = false;
    m_checkupdate->UseCache = false;
    m_checkupdate->WaitThread = false;
    m_checkupdate->OnDoneString = [this](THTTPGet *sender, const QByteArray &result) {
        checkupdateDoneString(sender, result);
    };
    m_checkupdate->OnError = [this](THTTPGet *sender) { checkupdateError(sender); };
    m_updater->OnStatus = [this](const QString &text) {
        if (OnStatus)
            OnStatus(text);
    };
    m_updater->OnFailed = [this] {
        if (OnFailed)
            OnFailed();
    };
}

// The fetch goes first: its worker may still be delivering to this object.
UpdateCheck::~UpdateCheck()
{
    m_checkupdate.reset();
}

QString UpdateCheck::versionFileUrl() const
{
    return QStringLiteral("http://") + m_host + QLatin1String(vendor::kVersionPath);
}

void UpdateCheck::checkNow(Asked asked)
{
    if (asked == Asked::ByPlayer)
        m_playerAsked = true;
    if (m_host.isEmpty()) {
        if (m_playerAsked && OnCheckFailed)
            OnCheckFailed(QStringLiteral("This copy of Pegsquare knows no vendor's server to ask for an update."));
        m_playerAsked = false;
        return;
    }
    // Start() ignores the request while a check is still running; its
    // answer then serves, told to the player if they asked meanwhile.
    m_checkupdate->URL = versionFileUrl();
    m_checkupdate->Start();
}

void UpdateCheck::checkupdateError(THTTPGet *)
{
    const bool tell = std::exchange(m_playerAsked, false);
    if (tell && OnCheckFailed)
        OnCheckFailed(QStringLiteral("Pegsquare could not reach the vendor's server, so it could not look for an "
                                     "update. Check your connection to the Internet.")
                      + kTryAgain);
}

void UpdateCheck::checkupdateDoneString(THTTPGet *sender, const QByteArray &result)
{
    // An error page is not a version text: offering an update because the
    // server lost its version file would send every player to a download
    // that is probably missing too.
    const bool tell = std::exchange(m_playerAsked, false);
    if (sender && sender->status() >= kFirstErrorStatus) {
        if (tell && OnCheckFailed)
            OnCheckFailed(QStringLiteral("The vendor's server did not give its latest version (it answered with "
                                         "error %1), so Pegsquare could not look for an update.")
                              .arg(sender->status())
                          + kTryAgain);
        return;
    }
    // Only a newer version is offered: an old release, even one genuinely
    // signed, must not be able to take a player back to its faults. A text
    // that is no version at all (an error page, a portal's login form) is
    // no offer either.
    const std::optional<online::DottedVersion> offered = online::DottedVersion::parse(result.toStdString());
    const std::optional<online::DottedVersion> own = online::DottedVersion::parse(m_ownVersion.toStdString());
    if (!offered) {
        if (tell && OnCheckFailed)
            OnCheckFailed(QStringLiteral("The vendor's server answered with something that is not a version "
                                         "number, so Pegsquare could not look for an update.")
                          + kTryAgain);
        return;
    }
    if (!own || offered->compare(*own) <= 0) {
        if (tell && OnUpToDate)
            OnUpToDate(QStringLiteral("Pegsquare %1 is up to date.").arg(m_ownVersion));
        return;
    }
    const QString version = QString::fromStdString(offered->text());
    m_updater->setOfferedVersion(version);
    if (OnOffer)
        OnOffer(version, m_ownVersion);
}

void UpdateCheck::downloadit()
{
    m_updater->downloadit();
}
