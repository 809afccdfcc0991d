#include "highscoreform.h"

#include "colors.h"
#include "controls.h"
#include "flatpanel.h"
#include "gameresources.h"
#include "htmlview.h"
#include "httpget.h"
#include "imagecontrol.h"
#include "pagelink.h"
#include "picturebutton.h"
#include "taglabel.h"
#include "url.h"
#include "vendorpaths.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr int kFirstErrorStatus = 400;

QString percentEncoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

constexpr int kStatusFontPixels = 11;
const QString kOpenAgain = QStringLiteral(" Open High Scores again to try once more.");
const QString kTryAgain = QStringLiteral("Check your connection to the Internet, then press Done and open High Scores "
                                         "again to try once more.");

// One of our own pages in the view, in the look of the window around it.
QString ownPage(const QString &heading, const QString &text)
{
    return QStringLiteral("<html><body><h3><font color=\"#800000\">%1</font></h3><p>%2</p></body></html>")
        .arg(heading.toHtmlEscaped(), text.toHtmlEscaped());
}

// The fetch's reason as a sentence about the vendor's server.
QString vendorServer(const THTTPGet &fetch)
{
    return QStringLiteral("The vendor's server ") + fetch.failureReason() + QLatin1Char('.');
}

} // namespace

Thighscore::Thighscore(const QString &vendorHost)
    : SecondaryWindow(QStringLiteral("Thighscore"), QStringLiteral("Pegsquare - High Scores"), QSize(603, 561),
                      Border::Dialog)
    , m_host(vendorHost)
{
    buildLayout();
    // This window opens centred on the desktop rather than on the game.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

Thighscore::~Thighscore() = default;

void Thighscore::buildLayout()
{
    auto *image = new ImageControl(this, QStringLiteral("Image1"), QRect(6, 9, 97, 322));
    image->setPicture(gameresources::picture(gameresources::Picture::CribbageHighScores, devicePixelRatioF()));

    auto *frame = new TFlatPanel(this, QStringLiteral("panel_main"), QRect(112, 8, 481, 507));
    frame->setColor(QColor(64, 36, 174));
    frame->setBorderColors(pegcolors::white());
    m_displayhtml = new THtmlView(frame);
    m_displayhtml->setObjectName(QStringLiteral("displayhtml"));
    // Docked to the frame's whole client area, inside its one-pixel border.
    m_displayhtml->setGeometry(1, 1, 479, 505);
    m_displayhtml->OnHotSpotClick = [this](THtmlView *sender, const QString &src, bool &handled) {
        displayhtmlHotSpotClick(sender, src, handled);
    };

    m_status = new TagLabel(this, QStringLiteral("label_status"), QString(), QRect(112, 518, 347, 40));
    m_status->setPixelFont(kStatusFontPixels, true);
    m_status->setTextColor(pegcolors::maroon());
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_status->setWordWrap(true);

    auto *done = makePictureButton(this, QStringLiteral("button_done"), QRect(467, 518, 126, 40),
                                   QStringLiteral("Done"));
    connect(done, &ImageControl::clicked, this, [this] { button_doneClick(); });

    m_url1 = new TURL(this);
    m_url1->setObjectName(QStringLiteral("URL1"));
    m_url1->setURLType(TURL::utnone);

    m_getit = new THTTPGet(this);
    m_getit->setObjectName(QStringLiteral("getit"));
    m_getit->OnDoneString = [this](THTTPGet *sender, const QByteArray &result) { getitDoneString(sender, result); };
    m_getit->OnError = [this](THTTPGet *sender) { getitError(sender); };
    m_sendit = new THTTPGet(this);
    m_sendit->setObjectName(QStringLiteral("sendit"));
    m_sendit->OnDoneString = [this](THTTPGet *sender, const QByteArray &result) {
        senditDoneString(sender, result);
    };
    m_sendit->OnError = [this](THTTPGet *sender) { senditError(sender); };
}

QUrl Thighscore::listAddress() const
{
    return QUrl(QStringLiteral("http://") + m_host + QLatin1String(vendor::kScoreListPath));
}

QString Thighscore::statusText() const
{
    return m_status->text();
}

void Thighscore::loadit()
{
    if (!m_getit->isBusy()) {
        m_status->setText(QStringLiteral("Fetching the high-score list..."));
        if (!m_listShown)
            m_displayhtml->LoadText(ownPage(QStringLiteral("High Scores"),
                                            QStringLiteral("Fetching the high-score list from the vendor's server...")));
    }
    m_getit->PostQuery.clear();
    m_getit->URL = listAddress().toString();
    m_getit->Start();
}

void Thighscore::sendscore(const QString &name, const QString &date, const QString &score)
{
    m_sendit->URL = QStringLiteral("http://") + m_host + QLatin1String(vendor::kPostingPath)
                  + QStringLiteral("?name=%1&date=%2&score=%3")
                        .arg(percentEncoded(name), percentEncoded(date), percentEncoded(score));
    // A posting still running keeps going, and its answer serves.
    if (!m_sendit->isBusy())
        m_posting = {name, score};
    m_sendit->Start();
}

void Thighscore::getitDoneString(THTTPGet *sender, const QByteArray &result)
{
    // The vendor server writes its pages in UTF-8. The list is the largest
    // page the view shows: it is read off this thread, so that the window
    // does not stall while it comes.
    m_displayhtml->LoadTextInBackground(online::markOwnEntry(QString::fromUtf8(result), m_ownEntry), QString());
    // An error page is shown like the list, but not taken for it.
    m_listShown = sender->failureReason().isEmpty();
    m_status->setText(m_listShown ? QString() : vendorServer(*sender) + kOpenAgain);
}

void Thighscore::getitError(THTTPGet *sender)
{
    const QString why = vendorServer(*sender);
    if (m_listShown) {
        // The list last fetched stays in view; the line says it is not new.
        m_status->setText(QStringLiteral("The list was not refreshed. ") + why + kOpenAgain);
        return;
    }
    m_status->setText(QStringLiteral("The list could not be fetched."));
    m_displayhtml->LoadText(ownPage(QStringLiteral("The high-score list could not be fetched"),
                                    why + QLatin1Char(' ') + kTryAgain));
}

void Thighscore::senditDoneString(THTTPGet *sender, const QByteArray &)
{
    // An error status means the server answered but did not take the
    // score: say so now rather than open a list without it.
    if (sender->status() >= kFirstErrorStatus) {
        if (OnPostingFailed)
            OnPostingFailed(vendorServer(*sender));
        return;
    }
    m_ownEntry = m_posting;
    if (OnScorePosted)
        OnScorePosted();
    loadit();
    show();
    raise();
}

void Thighscore::senditError(THTTPGet *sender)
{
    // Refused or unreachable is known at once; the player need not wait
    // out the countdown meant for an answer that never comes.
    if (OnPostingFailed)
        OnPostingFailed(vendorServer(*sender));
}

void Thighscore::displayhtmlHotSpotClick(THtmlView *, const QString &SRC, bool &)
{
    const std::optional<QString> address = externalPageLink(SRC, listAddress());
    if (!address)
        return;
    m_url1->setURL(*address);
    m_url1->Execute();
}

void Thighscore::button_doneClick()
{
    hide();
}
