#include "hintrunner.h"

#include <QThread>

HintRunner::HintRunner(PositionSource currentPosition, QObject *parent)
    : QObject(parent)
    , m_currentPosition(std::move(currentPosition))
{
}

HintRunner::~HintRunner()
{
    if (m_worker)
        m_worker->wait();
}

std::uint32_t HintRunner::seedFor(const advisor::Position &position)
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

void HintRunner::request()
{
    if (m_running) {
        // The run under way answers this position; one for a position
        // already left is dropped when it ends, and this request runs then.
        if (m_runningGeneration != m_generation)
            m_wanted = true;
        return;
    }
    start();
}

void HintRunner::outdate()
{
    ++m_generation;
    m_wanted = false;
}

void HintRunner::start()
{
    const std::optional<advisor::Position> position = m_currentPosition();
    if (!position)
        return;
    const std::uint32_t seed = seedFor(*position);
    const std::uint64_t generation = m_generation;
    // The previous run has delivered its result, so its thread has ended.
    if (m_worker)
        m_worker->wait();
    m_running = true;
    m_runningGeneration = generation;
    // The worker sees only its own copy of the position; the result comes
    // back to the GUI thread through a queued call, which Qt drops if this
    // object is gone (the destructor waits for the worker).
    m_worker.reset(QThread::create([this, position = *position, seed, generation] {
        const int cell = advisor::advise(position, seed).cell;
        QMetaObject::invokeMethod(
            this, [this, generation, cell] { finished(generation, cell); }, Qt::QueuedConnection);
    }));
    m_worker->setObjectName(QStringLiteral("hint"));
    m_worker->start();
    Q_EMIT started();
}

void HintRunner::finished(std::uint64_t generation, int cell)
{
    m_running = false;
    if (generation != m_generation) {
        if (m_wanted) {
            m_wanted = false;
            start();
        }
        return;
    }
    Q_EMIT advised(cell);
}
