// The update check: the vendor's version text against the program's own,
// and the offer panel.
#include "mainform.h"

#include "controls.h"
#include "dottedversion.h"
#include "httpget.h"
#include "imagecontrol.h"
#include "taglabel.h"
#include "updater.h"
#include "vendorpaths.h"

namespace {
// HTTP statuses from here on are error pages, never a version text.
constexpr int kFirstErrorStatus = 400;
} // namespace

void Tmain::buildUpdate()
{
    m_checkupdate = new THTTPGet(this);
    m_checkupdate->setObjectName(QStringLiteral("checkupdate"));
    m_checkupdate->AcceptTypes = QStringLiteral("*/*");
    m_checkupdate->Agent = QStringLiteral("Pegsquare HTTPGet");
    m_checkupdate->BinaryData = false;
    m_checkupdate->UseCache = false;
    m_checkupdate->WaitThread = false;
    m_checkupdate->OnDoneString = [this](THTTPGet *sender, const QByteArray &result) {
        checkupdateDoneString(sender, result);
    };
    connect(findControl<ImageControl>(this, QStringLiteral("button_updatecancel")), &ImageControl::clicked, this,
            [this] { button_updatecancelClick(); });
    connect(findControl<ImageControl>(this, QStringLiteral("button_updateyes")), &ImageControl::clicked, this,
            [this] { button_updateyesClick(); });
    m_updater = std::make_unique<TUpdater>(m_vendorHost);
    m_updater->OnStatus = [this](const QString &text) {
        findControl<TagLabel>(this, QStringLiteral("label_update"))->setText(text);
    };
    // A failed update leaves the program as it was, so the offer stands
    // again: the player may try once more or put it away.
    m_updater->OnFailed = [this] {
        findControl<QWidget>(this, QStringLiteral("button_updateyes"))->show();
        findControl<QWidget>(this, QStringLiteral("button_updatecancel"))->show();
    };
}

void Tmain::setVendorHost(const QString &host)
{
    m_vendorHost = host;
    m_updater->setVendorHost(host);
}

QString Tmain::versionFileUrl() const
{
    return QStringLiteral("http://") + m_vendorHost + QLatin1String(vendor::kVersionPath);
}

void Tmain::CheckforUpdateNow1Click()
{
    if (m_vendorHost.isEmpty())
        return;
    // Start() ignores the request while a check is still running.
    m_checkupdate->URL = versionFileUrl();
    m_checkupdate->Start();
}

void Tmain::checkupdateDoneString(THTTPGet *sender, const QByteArray &result)
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
    const std::optional<online::DottedVersion> own = online::DottedVersion::parse(m_versionText.toStdString());
    if (!offered || !own || offered->compare(*own) <= 0)
        return;
    const QString version = QString::fromStdString(offered->text());
    m_updater->setOfferedVersion(version);
    findControl<TagLabel>(this, QStringLiteral("label_updateversion"))
        ->setText(QStringLiteral("Version %1 (you have %2)").arg(version, m_versionText));
    QWidget *offer = findControl<QWidget>(this, QStringLiteral("panel_update"));
    offer->show();
    offer->raise();
}

void Tmain::button_updatecancelClick()
{
    findControl<QWidget>(this, QStringLiteral("panel_update"))->hide();
}

void Tmain::button_updateyesClick()
{
    // No buttons from here on, so the update cannot start twice while the
    // download keeps the window alive.
    findControl<QWidget>(this, QStringLiteral("button_updateyes"))->hide();
    findControl<QWidget>(this, QStringLiteral("button_updatecancel"))->hide();
    findControl<TagLabel>(this, QStringLiteral("label_update"))->setText(QStringLiteral("Updating. Please Wait..."));
    m_updater->update();
}

void Tmain::downloadit()
{
    m_updater->downloadit();
}
