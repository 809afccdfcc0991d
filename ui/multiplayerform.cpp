#include "multiplayerform.h"

#include "vendorpaths.h"

#include "colors.h"
#include "fonts.h"
#include "gameresources.h"
#include "imagecontrol.h"
#include "selbutton.h"
#include "taglabel.h"
#include "url.h"

#include <QPixmap>

namespace {

// Character heights of the point sizes the window was laid out with.
constexpr int kInvitationPixels = 16;  // 12 point
constexpr int kLobbyPixels = 19;       // 14 point

TagLabel *makeLinkLabel(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry,
                        int pixels)
{
    auto *label = new TagLabel(parent, name, caption, geometry);
    label->setFont(pegfonts::serif(pixels, true));
    label->setTextColor(pegcolors::maroon());
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

Tmultiplayer::Tmultiplayer(const QString &vendorHost)
    : SecondaryWindow(QStringLiteral("Tmultiplayer"), QStringLiteral("Pegsquare Solo - Multiplayer"),
                      QSize(569, 431), Border::Tool)
    , m_url1(new TURL(this))
{
    m_url1->setObjectName(QStringLiteral("URL1"));
    m_url1->setURLType(TURL::utHttp);
    m_url1->setURL(vendorHost + QLatin1String(vendor::kLobbyPath));
    buildLayout(vendorHost);
}

void Tmultiplayer::buildLayout(const QString &vendorHost)
{
    const QString site = TURL::prefix(TURL::utHttp) + vendorHost;
    auto *invitation = makeLinkLabel(this, QStringLiteral("Label6"),
                                     QStringLiteral("Enjoy Pegsquare? Try the multiplayer version at %1!").arg(site),
                                     QRect(0, 16, 563, 23), kInvitationPixels);
    auto *lobby = makeLinkLabel(this, QStringLiteral("Label1"),
                                QStringLiteral("Click HERE to learn how to Play Cribbage against others in The Lobby!"),
                                QRect(32, 48, 489, 41), kLobbyPixels);
    // Its two lines are a few pixels taller than the label; anchored at the
    // bottom, the overflow falls in the empty space above the capitals
    // instead of cutting off the descenders of "against" and "Lobby".
    lobby->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);

    auto *picture = new ImageControl(this, QStringLiteral("Image1"), QRect(80, 96, 389, 269));
    picture->setPicture(QPixmap::fromImage(gameresources::advertPicture()));
    picture->setCursor(Qt::PointingHandCursor);

    connect(invitation, &TagLabel::clicked, this, [this] { Label6Click(); });
    connect(lobby, &TagLabel::clicked, this, [this] { Label6Click(); });
    connect(picture, &ImageControl::clicked, this, [this] { Label6Click(); });

    auto *done = new TSelButton(this, QStringLiteral("button_done"), QRect(466, 401, 95, 26));
    styleDoneButton(*done);
    done->setCaption(QStringLiteral("Done"));
    done->setOnClick([this](TSelButton *) { button_doneClick(); });
}

void Tmultiplayer::Label6Click()
{
    m_url1->Execute();
}

void Tmultiplayer::button_doneClick()
{
    close();
}
