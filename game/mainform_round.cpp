// Rounds and games: starting, scoring a full board, the timed outcome.
#include "mainform.h"

#include "boardpanels.h"
#include "cardslot.h"
#include "controls.h"
#include "imagecontrol.h"
#include "pegboard.h"
#include "reviewform.h"
#include "tallyrecorder.h"
#include "taglabel.h"

#include <QLineEdit>
#include <QTimer>

namespace {
constexpr int kResultDelayTicks = 5;    // the outcome shows on the sixth tick
constexpr int kRoundsStatistic = 1;
constexpr int kClearedStatistic = 2;
} // namespace

void Tmain::setCounter(const QString &labelName, int value)
{
    auto *l = findControl<TagLabel>(this, labelName);
    l->setTag(value);
    l->setText(QString::number(value));
}

int Tmain::counter(const QString &labelName) const
{
    return findControl<TagLabel>(this, labelName)->tag();
}

void Tmain::greet()
{
    findControl<TagLabel>(this, QStringLiteral("label_name"))->setText(QStringLiteral("Good Luck ") + playerName());
    findControl<TagLabel>(this, QStringLiteral("label_cardtype"))->setText(QStringLiteral("Next Card"));
}

void Tmain::hideRoundPanels()
{
    findControl<QWidget>(this, QStringLiteral("button_start"))->hide();
    for (const BoardPanel &panel : kBoardPanels)
        if (panel.hiddenByNewRound)
            findControl<QWidget>(this, QString::fromLatin1(panel.name))->hide();
    findControl<QWidget>(this, QStringLiteral("label_breakdown"))->hide();
}

void Tmain::button_startClick()
{
    m_timer2->stop();
    hideRoundPanels();
    m_round.startGame();
    setCounter(QStringLiteral("label_total"), m_round.total());
    setCounter(QStringLiteral("label_rounds"), m_round.roundNumber());
    m_pegs->reset();
    clearall();
    if (m_tally)
        m_tally->addtomineincrease(kRoundsStatistic);
    m_gameInProgress = true;
    playsounds(QStringLiteral("startgame"));
    greet();
    shufflecards();
}

void Tmain::button_start2Click()
{
    m_gameInProgress = true;
    hideRoundPanels();
    m_round.nextRound();
    setCounter(QStringLiteral("label_rounds"), m_round.roundNumber());
    if (m_tally)
        m_tally->addtomineincrease(kRoundsStatistic);
    clearall();
    playsounds(QStringLiteral("startgame"));
    greet();
    shufflecards();
}

void Tmain::endgame()
{
    playsounds(QStringLiteral("roundover"));
    findControl<QWidget>(this, QStringLiteral("label_breakdown"))->show();

    const int starter = m_deck.current();
    m_round.turnStarter(starter);
    for (int n = 1; n <= 5; ++n) {
        showCard(cell(5, n), m_cards, starter);
        showCard(cell(n, 5), m_cards, starter);
    }
    findControl<TagLabel>(this, QStringLiteral("label_cardtype"))->setText(QStringLiteral("STARTER"));

    for (int line : square::kLineNumbers)
        setCounter(QStringLiteral("label_linescore%1").arg(line), getlinescore(line));
    setCounter(QStringLiteral("label_score"), m_round.score());
    setCounter(QStringLiteral("label_total"), m_round.total());
    m_pegs->pegTo(m_round.total());
    m_lastRound = review::Round{m_roundSeed, m_roundCells};
    m_reviewRound->setEnabled(true);
    findControl<QWidget>(this, QStringLiteral("button_review"))->show();

    describeBoard();
    m_countdown = kResultDelayTicks;
    m_timer2->start();
}

void Tmain::Timer2Timer()
{
    if (--m_countdown >= 0)
        return;
    m_timer2->stop();
    if (m_round.continuesGame()) {
        findControl<QWidget>(this, QStringLiteral("panel_continue"))->show();
        if (m_tally)
            m_tally->addtomineincrease(kClearedStatistic);
        playsounds(QStringLiteral("continue"));
        return;
    }
    findControl<TagLabel>(this, QStringLiteral("label_score1"))
        ->setText(QStringLiteral("Your Score: ") + findControl<TagLabel>(this, QStringLiteral("label_total"))->text());
    if (m_tally)
        m_tally->checkscore(counter(QStringLiteral("label_total")), playerName());
    findControl<QWidget>(this, QStringLiteral("button_sendscore"))->show();
    auto *over = findControl<QWidget>(this, QStringLiteral("panel_over"));
    over->show();
    over->raise();
    findControl<QWidget>(this, QStringLiteral("button_start"))->show();
    m_gameInProgress = false;
    refreshHintAction();
    playsounds(QStringLiteral("gameover"));
}

void Tmain::ReviewRound1Click()
{
    if (!m_lastRound)
        return;
    if (!m_review) {
        m_review = std::make_unique<ReviewWindow>(m_cards);
        m_review->copyBackground(*m_background);
    }
    // A round already reviewed is shown again as it was left.
    if (m_review->result() && review::formatRound(m_review->round()) == review::formatRound(*m_lastRound)) {
        m_review->show();
        m_review->raise();
        m_review->activateWindow();
        return;
    }
    m_review->review(*m_lastRound);
}
