#pragma once

#include "advisor.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QThread;

// Asks the placement advisor off the GUI thread, one run at a time, and
// hands back only advice that still answers the position on the board.
// The position is read when a run starts, through `currentPosition`
// (nullopt: no advice can be asked for now).
class HintRunner : public QObject {
    Q_OBJECT
public:
    using PositionSource = std::function<std::optional<advisor::Position>()>;

    explicit HintRunner(PositionSource currentPosition, QObject *parent = nullptr);
    // Waits for a run under way: it takes milliseconds, and its result
    // would otherwise be posted to an object being destroyed.
    ~HintRunner() override;

    // Advice is wanted for the current position. Starts a run unless one
    // for this very position is under way; asked while a run for an
    // earlier position still works, it starts once that run ends.
    void request();
    // The board or the waiting card changed: advice asked before is
    // dropped when it arrives, and a request waiting for it is forgotten.
    void outdate();

    // The advisor's seed for a position, from the position alone, so the
    // same position always gets the same advice.
    static std::uint32_t seedFor(const advisor::Position &position);

Q_SIGNALS:
    // A run started (once per run, however often it was asked for).
    void started();
    // The advice for the position still current: a cell index 0 … 15.
    void advised(int cell);

private:
    void start();
    void finished(std::uint64_t generation, int cell);

    PositionSource m_currentPosition;
    std::unique_ptr<QThread> m_worker;
    // Bumped by outdate(); a run carries the value it was started under.
    std::uint64_t m_generation = 0;
    std::uint64_t m_runningGeneration = 0;
    bool m_running = false;
    bool m_wanted = false;  // asked for while an outdated run was still working
};
