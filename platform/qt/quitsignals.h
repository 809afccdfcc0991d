#pragma once

#include <QObject>

class QSocketNotifier;

// The signals with which a desktop ends a program — SIGTERM (shutdown, a
// session's end, `kill`), SIGINT (Ctrl+C in a terminal) and SIGHUP (the
// terminal closed) — turned into a Qt signal on the GUI thread, so the
// program can end as if its window had been closed and save what it
// keeps. One instance per process. After the first of them arrives the
// default actions are back, so a second one ends a program that does not
// respond.
namespace platform {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // False when the handlers could not be installed (the signals then keep
    // their default actions).
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // Emitted once, on the thread that created the object, with the signal
    // that arrived.
    void quitRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace platform
