#include "windowplacement.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {
constexpr int kWatchIntervalMs = 50;
constexpr int kWatchTicks = 40;  // two seconds for the window manager to frame the window
} // namespace

WindowPlacement::WindowPlacement(QWidget &window)
    : QObject(&window)
    , m_window(window)
    , m_watch(new QTimer(this))
{
    m_watch->setInterval(kWatchIntervalMs);
    connect(m_watch, &QTimer::timeout, this, [this] { tick(); });
}

QSize WindowPlacement::frameExtra() const
{
    return m_window.frameGeometry().size() - m_window.geometry().size();
}

QRect WindowPlacement::outerBounds() const
{
    // Until the window manager has put its frame round the window, the
    // frame's size is unknown and the bounds asked for are the truth.
    if (!m_settled)
        return m_wanted;
    return m_window.frameGeometry();
}

void WindowPlacement::setOuterBounds(const QRect &bounds)
{
    m_wanted = bounds;
    apply();
}

void WindowPlacement::apply()
{
    // A window's position is that of its frame; its size is that of the
    // inside, so the frame's extra size comes off the wanted size.
    m_appliedExtra = frameExtra();
    m_window.move(m_wanted.topLeft());
    m_window.resize(std::max(1, m_wanted.width() - m_appliedExtra.width()),
                    std::max(1, m_wanted.height() - m_appliedExtra.height()));
    m_appliedSize = m_window.size();
}

void WindowPlacement::watchFrame()
{
    m_watch->start();
}

void WindowPlacement::tick()
{
    if (frameExtra() != m_appliedExtra) {
        // A size changed meanwhile (by the player or the program) is theirs
        // to keep; only the placement made here is corrected.
        if (m_window.size() == m_appliedSize)
            apply();
        m_settled = true;
    } else if (++m_ticks >= kWatchTicks) {
        m_settled = true;
    }
    if (m_settled)
        m_watch->stop();
}
