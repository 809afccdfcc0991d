#include "stallprobes.h"
#include "figures.h"

#include <QEvent>

#include <algorithm>

namespace programbench {

bool TimingApplication::notify(QObject *receiver, QEvent *event)
{
    const qint64 t0 = m_clock.nsecsElapsed();
    const std::int64_t cpu0 = threadCpuNs();
    const std::uint64_t firings = probeFirings;
    const int type = event->type();
    // The receiver may not outlive the event (a deferred delete).
    std::string who = receiver->metaObject()->className();
    if (!receiver->objectName().isEmpty()) {
        who += ' ';
        who += receiver->objectName().toStdString();
    }
    ++m_depth;
    const bool result = QApplication::notify(receiver, event);
    --m_depth;
    const double ms = double(m_clock.nsecsElapsed() - t0) / 1e6;
    if (firings != probeFirings)
        return result;
    double &longestThere = longest[phase][who];
    longestThere = std::max(longestThere, ms);
    if (ms >= kSlowMs)
        slow.push_back({phase, m_depth, who, type, ms, double(threadCpuNs() - cpu0) / 1e6, double(t0) / 1e9});
    return result;
}

LatenessProbe::LatenessProbe(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { fired(); });
    m_clock.start();
}

void LatenessProbe::phase(const std::string &name)
{
    if (auto *timing = dynamic_cast<TimingApplication *>(QCoreApplication::instance()))
        timing->phase = name;
    m_phase = name;
    m_order.push_back(name);
}

void LatenessProbe::fired()
{
    if (OnFired)
        OnFired();
    const qint64 now = m_clock.nsecsElapsed();
    // A gap belongs to the phase it began in: a stall that ends after
    // the script has moved on was caused before.
    if (m_last != 0) {
        const double late = double(now - m_last) / 1e6 - kIntervalMs;
        auto &s = m_samples[m_lastPhase];
        if (s.empty() || late > maxOf(s))
            m_worstAt[m_lastPhase] = double(now) / 1e6;
        s.push_back(std::max(0.0, late));
    }
    m_last = now;
    m_lastPhase = m_phase;
}

} // namespace programbench
