#include "aboutform.h"

#include "colors.h"
#include "fonts.h"
#include "gameresources.h"
#include "imagecontrol.h"
#include "selbutton.h"
#include "taglabel.h"
#include "url.h"

namespace {

// Character heights of the point sizes the window was laid out with.
constexpr int kLinkPixels = 16;     // 12 point
constexpr int kVersionPixels = 13;  // 10 point

TagLabel *makeVersionLabel(QWidget *parent, const QString &name, const QString &caption, QPoint at,
                           const QColor &color)
{
    auto *label = new TagLabel(parent, name, caption, QRect(at, QSize()));
    label->setFont(pegfonts::serif(kVersionPixels, true));
    label->setTextColor(color);
    label->adjustSize();
    return label;
}

} // namespace

Tabout::Tabout(const QString &vendorHost)
    : SecondaryWindow(QStringLiteral("Tabout"), QStringLiteral("Pegsquare - About"), QSize(304, 193),
                      Border::Dialog)
    , m_url1(new TURL(this))
{
    m_url1->setObjectName(QStringLiteral("URL1"));
    m_url1->setURLType(TURL::utHttp);
    m_url1->setURL(vendorHost);
    buildLayout(vendorHost);
}

void Tabout::buildLayout(const QString &vendorHost)
{
    auto *title = new ImageControl(this, QStringLiteral("Image1"),
                                   QRect(QPoint(17, 3), gameresources::pictureSize(gameresources::Picture::AboutTitle)));
    title->setPicture(gameresources::picture(gameresources::Picture::AboutTitle, devicePixelRatioF()));

    auto *link = new TagLabel(this, QStringLiteral("Label7"), TURL::prefix(TURL::utHttp) + vendorHost,
                              QRect(8, 84, 289, 20));
    QFont linkFont = pegfonts::sans(kLinkPixels, true);
    linkFont.setUnderline(true);
    link->setFont(linkFont);
    link->setTextColor(pegcolors::maroon());
    link->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    link->setCursor(Qt::PointingHandCursor);
    connect(link, &TagLabel::clicked, this, [this] { Label7Click(); });

    // Read together as "Version 1.0.1.2"; only the middle label is the
    // version the update check compares.
    makeVersionLabel(this, QStringLiteral("Label1"), QStringLiteral("Version"), QPoint(48, 176), pegcolors::maroon());
    makeVersionLabel(this, QStringLiteral("version"), QStringLiteral(PEGSQUARE_VERSION), QPoint(96, 176), Qt::black);
    makeVersionLabel(this, QStringLiteral("Label9"), QStringLiteral(".2"), QPoint(123, 176), Qt::black);

    auto *done = new TSelButton(this, QStringLiteral("button_done"), QRect(202, 164, 95, 26));
    styleDoneButton(*done);
    done->setCaption(QStringLiteral("Done"));
    done->setOnClick([this](TSelButton *) { Button1Click(); });
}

void Tabout::Label7Click()
{
    m_url1->Execute();
}

void Tabout::Button1Click()
{
    close();
}
