// The update offer: the panel the update check fills and the buttons that
// answer it. The check and the download live behind UpdateService.
#include "mainform.h"

#include "controls.h"
#include "imagecontrol.h"
#include "messageboxes.h"
#include "taglabel.h"
#include "updateservice.h"

void Tmain::buildUpdate()
{
    connect(findControl<ImageControl>(this, QStringLiteral("button_updatecancel")), &ImageControl::clicked, this,
            [this] { button_updatecancelClick(); });
    connect(findControl<ImageControl>(this, QStringLiteral("button_updateyes")), &ImageControl::clicked, this,
            [this] { button_updateyesClick(); });
}

void Tmain::setUpdateService(UpdateService *update)
{
    m_update = update;
    if (!update)
        return;
    update->OnOffer = [this](const QString &offered, const QString &own) { showUpdateOffer(offered, own); };
    update->OnUpToDate = [](const QString &text) { showMessageBox(text); };
    update->OnCheckFailed = [](const QString &text) { showMessageBox(text); };
    update->OnStatus = [this](const QString &text) {
        findControl<TagLabel>(this, QStringLiteral("label_update"))->setText(text);
    };
    // A failed update leaves the program as it was, so the offer stands
    // again: the player may try once more or put it away.
    update->OnFailed = [this] {
        findControl<QWidget>(this, QStringLiteral("button_updateyes"))->show();
        findControl<QWidget>(this, QStringLiteral("button_updatecancel"))->show();
    };
}

void Tmain::CheckforUpdateNow1Click()
{
    if (m_update)
        m_update->checkNow(UpdateService::Asked::ByPlayer);
}

void Tmain::showUpdateOffer(const QString &offered, const QString &own)
{
    // The name panel asks first: an offer laid over it would hide its Done
    // button and take its keys. The offer waits until it is answered.
    if (findControl<QWidget>(this, QStringLiteral("panel_name"))->isVisible()) {
        m_pendingOffer = {offered, own};
        return;
    }
    m_pendingOffer = {};
    findControl<TagLabel>(this, QStringLiteral("label_updateversion"))
        ->setText(QStringLiteral("Version %1 (you have %2)").arg(offered, own));
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
    downloadit();
}

void Tmain::downloadit()
{
    if (m_update)
        m_update->downloadit();
}
