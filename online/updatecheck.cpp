#include "updatecheck.h"

#include "dottedversion.h"
#include "httpget.h"
#include "updater.h"
#include "vendorpaths.h"

#include <optional>

namespace {
// HTTP statuses from here on are error pages, never a version text.
constexpr int kFirstErrorStatus = 400;
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

void UpdateCheck::checkNow()
{
    if (m_host.isEmpty())
        return;
    // Start() ignores the request while a check is still running.
    m_checkupdate->URL = versionFileUrl();
    m_checkupdate->Start();
}

void UpdateCheck::checkupdateDoneString(THTTPGet *sender, const QByteArray &result)
{
    // An error page is not a version text: offering an update because the
    // server lost its version file would send every player to a download
    // that is probably missing too.
    if (sender && sender->status() >= kFirstErrorStatus)
        return;
    // Only a newer version is offered: an old release, even one genuinely
    // signed, must not be able to take a player back to its faults. A text
    // that is no version at all (an error page, a portal's login form) is
    // no offer either.
    const std::optional<online::DottedVersion> offered = online::DottedVersion::parse(result.toStdString());
    const std::optional<online::DottedVersion> own = online::DottedVersion::parse(m_ownVersion.toStdString());
    if (!offered || !own || offered->compare(*own) <= 0)
        return;
    const QString version = QString::fromStdString(offered->text());
    m_updater->setOfferedVersion(version);
    if (OnOffer)
        OnOffer(version, m_ownVersion);
}

void UpdateCheck::downloadit()
{
    m_updater->downloadit();
}
