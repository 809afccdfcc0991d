// The hint: asking the placement advisor where the waiting card should go,
// off the GUI thread, and marking the advised cell.
#include "mainform.h"

#include "advisor.h"
#include "controls.h"
#include "hintmark.h"
#include "imagecontrol.h"

#include <QAction>
#include <QThread>

namespace {
// The panels that, shown, lie over the board and take its clicks.
constexpr const char *kBoardPanels[] = {"panel_name", "panel_linescore", "panel_update",
                                        "panel_over", "panel_continue",  "panel_wait"};
} // namespace

std::uint32_t Tmain::hintSeed(const advisor::Position &position)
{
    // FNV-1a over the sixteen cells and the waiting card.
    constexpr std::uint32_t kOffset = 2166136261u;
    constexpr std::uint32_t kPrime = 16777619u;
    std::uint32_t hash = kOffset;
    auto mix = [&hash](int value) {
        hash ^= static_cast<std::uint32_t>(value);
        hash *= kPrime;
    };
    for (int code : position.board)
        mix(code);
    mix(position.card);
    return hash;
}

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
    for (const char *name : kBoardPanels)
        if (findControl<QWidget>(this, QString::fromLatin1(name))->isVisibleTo(this))
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
    ++m_hintGeneration;
    m_hintWanted = false;
    if (m_hintCell < 0)
        return;
    m_hintCell = -1;
    m_hintMark->dismiss();
}

void Tmain::ShowHint1Click()
{
    if (!hintAvailable() || m_hintCell >= 0)
        return;
    if (m_hintRunning) {
        // The run under way answers this card; one for a card already
        // placed is dropped when it ends, and this request runs then.
        if (m_hintRunningGeneration != m_hintGeneration)
            m_hintWanted = true;
        return;
    }
    startHint();
}

void Tmain::startHint()
{
    const advisor::Position position = hintPosition();
    const std::uint32_t seed = hintSeed(position);
    const std::uint64_t generation = m_hintGeneration;
    // The previous run has delivered its result, so its thread has ended.
    if (m_hintWorker)
        m_hintWorker->wait();
    m_hintRunning = true;
    m_hintRunningGeneration = generation;
    // The worker sees only its own copy of the position; the window is
    // touched on the GUI thread alone, through the queued call, which Qt
    // drops if the window is gone (the destructor waits for the worker).
    m_hintWorker.reset(QThread::create([this, position, seed, generation] {
        const int advised = advisor::advise(position, seed).cell;
        QMetaObject::invokeMethod(
            this, [this, generation, advised] { hintComputed(generation, advised); }, Qt::QueuedConnection);
    }));
    m_hintWorker->setObjectName(QStringLiteral("hint"));
    m_hintWorker->start();
    Q_EMIT hintRequested();
}

void Tmain::hintComputed(std::uint64_t generation, int advised)
{
    m_hintRunning = false;
    if (generation != m_hintGeneration) {
        if (m_hintWanted) {
            m_hintWanted = false;
            if (hintAvailable())
                startHint();
        }
        return;
    }
    if (advised < 0 || advised >= advisor::kCells || !m_gameInProgress)
        return;
    ImageControl *target = cell(advised / advisor::kSide + 1, advised % advisor::kSide + 1);
    // Advice for a taken cell would be a fault of the advisor; no mark
    // then, rather than one the player cannot follow.
    if (target->tag() != cards::kNoCard)
        return;
    m_hintCell = advised;
    m_hintMark->markCell(target->geometry());
    describeBoard();
}
