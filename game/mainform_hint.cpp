// The hint: asking the placement advisor where the waiting card should go,
// off the GUI thread, and marking the advised cell.
#include "mainform.h"

#include "advisor.h"
#include "boardpanels.h"
#include "hintrunner.h"
#include "controls.h"
#include "hintmark.h"
#include "imagecontrol.h"

#include <QAction>


advisor::Position Tmain::hintPosition() const
{
    advisor::Position position;
    position.board = m_round.cells();
    position.card = m_nextcard->tag();
    return position;
}

bool Tmain::hintAvailable() const
{
    if (!m_gameInProgress || m_deck.dealPosition() > Deck::kBoardCards)
        return false;
    // Hidden by the program, not merely because the window is not shown.
    for (const BoardPanel &panel : kBoardPanels)
        if (findControl<QWidget>(this, QString::fromLatin1(panel.name))->isVisibleTo(this))
            return false;
    return true;
}

void Tmain::refreshHintAction()
{
    if (m_showHint)
        m_showHint->setEnabled(hintAvailable());
}

void Tmain::dismissHint()
{
    m_hint->outdate();
    if (m_hintCell < 0)
        return;
    m_hintCell = -1;
    m_hintMark->dismiss();
}

void Tmain::ShowHint1Click()
{
    if (hintAvailable() && m_hintCell < 0)
        m_hint->request();
}

void Tmain::markAdvisedCell(int advised)
{
    if (advised < 0 || advised >= square::kCells || !m_gameInProgress)
        return;
    ImageControl *target = cell(square::rowLineOf(advised), advised % square::kSide + 1);
    // Advice for a taken cell would be a fault of the advisor; no mark
    // then, rather than one the player cannot follow.
    if (target->tag() != cards::kNoCard)
        return;
    m_hintCell = advised;
    m_hintMark->markCell(target->geometry());
    describeBoard();
}

void Tmain::setUpHint()
{
    m_hint = new HintRunner(
        [this]() -> std::optional<advisor::Position> {
            if (!hintAvailable())
                return std::nullopt;
            return hintPosition();
        },
        this);
    connect(m_hint, &HintRunner::started, this, &Tmain::hintRequested);
    connect(m_hint, &HintRunner::advised, this, [this](int advised) { markAdvisedCell(advised); });
}
