#pragma once

// The first painted top-level window of a process, as the start-up and
// memory measurements wait for it.

#include <QObject>

#include <cstdint>
#include <functional>

class QEvent;

namespace programbench {

// Notes when main() began, for the start-up child's report.
void noteMainStarted();

// Makes the application object, once constructed, watch for its first
// paint and print the start-up line ("STARTUP main=… paint=…") when that
// frame is done, then quit. Call before the application object exists.
void watchStartup();

// Watches every event of the application for the first paint of a
// top-level window, notes when it came and when that frame was finished
// (the next turn of the event loop), prints both and ends the loop.
class FirstPaintWatch : public QObject {
public:
    using QObject::QObject;
    std::function<void()> OnFrameDone;
    bool painted() const { return m_paintNs != 0; }
    bool frameDone() const { return m_doneNs != 0; }
    std::int64_t paintNs() const { return m_paintNs; }
    std::int64_t doneNs() const { return m_doneNs; }
    std::int64_t showNs() const { return m_showNs; }
    const char *window() const { return m_window; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::int64_t m_paintNs = 0;
    std::int64_t m_doneNs = 0;
    std::int64_t m_showNs = 0;
    const char *m_window = "";
};

} // namespace programbench
