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
    // Only the tick that reaches exactly 0 speaks: ticks while the box is
    // open go below it.
    if (m_postingCountdown == 0) {
        showMessageBox(QStringLiteral("Posting Failed."));
        m_timer1->stop();
    }
}

void Tmain::scorePosted()
{
    findControl<QWidget>(this, QStringLiteral("panel_over"))->hide();
    m_timer1->stop();
}

void Tmain::postingRefused()
{
    m_timer1->stop();
    showMessageBox(QStringLiteral("Posting Failed."));
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
