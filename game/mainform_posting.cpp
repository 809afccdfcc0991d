// Posting a finished game's score, and opening the online list.
#include "mainform.h"

#include "tallyrecorder.h"

#include "controls.h"
#include "messageboxes.h"
#include "onlinescores.h"
#include "shortdate.h"
#include "taglabel.h"

#include <QDate>
#include <QLineEdit>
#include <QTimer>

#include <exception>

namespace {
constexpr int kMaxDots = 5;
const QString kWaitCaption = QStringLiteral("Posting Scores, Please Wait..");
const QString kPostingFailed = QStringLiteral("Posting Failed.");
const QString kTryAgain = QStringLiteral(" Your score has not been posted; press SEND SCORE to try again.");
// After a new game has started, the panel with SEND SCORE has gone.
const QString kNotPosted = QStringLiteral(" Your score has not been posted.");
} // namespace

void Tmain::button_sendscoreClick()
{
    m_editName->setText(playerName());
    try {
        const QString score = QString::number(counter(QStringLiteral("label_total")));
        const QString date = platform::monthDayYear(QDate::currentDate(), platform::shortDateSeparator());
        const QString name = m_editName->text();
        // The name posted is the game's name, in the tally too.
        if (m_tally)
            m_tally->renameNewest(name);
        if (m_online)
            m_online->sendscore(name, date, score);
    } catch (const std::exception &) {
        // A posting that cannot start shows as a failure when the wait runs out.
    }
    m_postingCountdown = kPostingTicks;
    m_postingDots = 0;
    m_postingUnderWay = true;
    m_timer1->start();
    QWidget *wait = findControl<QWidget>(this, QStringLiteral("panel_wait"));
    wait->show();
    wait->raise();
}

void Tmain::Timer1Timer()
{
    --m_postingCountdown;
    if (++m_postingDots > kMaxDots)
        m_postingDots = 1;
    findControl<TagLabel>(this, QStringLiteral("label_wait"))
        ->setText(QStringLiteral("Posting Score, Please Wait") + QString(m_postingDots, QLatin1Char('.')));
    // Only the tick that reaches exactly 0 speaks.
    if (m_postingCountdown == 0 && m_postingUnderWay) {
        endPostingWait();
        // The request may still arrive: an answer that comes later is
        // still taken (scorePosted), so the player is not told it failed
        // for good.
        showMessageBox(kPostingFailed,
                       QStringLiteral("The vendor's server has not answered in %1 seconds, so Pegsquare cannot tell "
                                      "whether your score arrived.")
                               .arg(kPostingTicks)
                           + postingRemedy(QStringLiteral(" You may press SEND SCORE to try again."), {}),
                       this);
    }
}

void Tmain::endPostingWait()
{
    m_postingUnderWay = false;
    m_timer1->stop();
    findControl<TagLabel>(this, QStringLiteral("label_wait"))->setText(kWaitCaption);
    // panel_wait lies over the send button; hidden, it offers it again.
    findControl<QWidget>(this, QStringLiteral("panel_wait"))->hide();
}

void Tmain::scorePosted()
{
    m_postingUnderWay = false;
    findControl<QWidget>(this, QStringLiteral("panel_over"))->hide();
    m_timer1->stop();
}

void Tmain::postingFailed(const QString &why)
{
    // After the wait was given up the player has been told already, and
    // SEND SCORE may be waiting for them again.
    if (!m_postingUnderWay)
        return;
    endPostingWait();
    showMessageBox(kPostingFailed, why + postingRemedy(kTryAgain, kNotPosted), this);
}

QString Tmain::postingRemedy(const QString &offered, const QString &gone) const
{
    return findControl<QWidget>(this, QStringLiteral("panel_over"))->isHidden() ? gone : offered;
}

void Tmain::button_highscoresClick()
{
    if (m_online)
        m_online->loadit();
    showWindow(m_windows.highscore);
}

void Tmain::ViewHighScoreList1Click()
{
    button_highscoresClick();
}
