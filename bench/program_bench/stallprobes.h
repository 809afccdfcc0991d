#pragma once

// What the stall measurement watches the GUI thread with: an application
// object that times every event it delivers, and a timer whose lateness
// shows how long the thread was kept from its loop.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QEvent;

namespace programbench {

// The application object of the stall run: it times every event it
// delivers, so a stall can be traced to the event, the receiver and the
// handler behind it. An event during which the probe fired is a nested
// event loop (the download's wait), not a stall, and is not kept.
class TimingApplication : public QApplication {
public:
    struct Slow {
        std::string phase;
        int depth;
        std::string receiver;
        int type;
        double ms;
        double cpuMs;
        double atS;
    };
    static constexpr double kSlowMs = 15;

    TimingApplication(int &argc, char **argv) : QApplication(argc, argv) { m_clock.start(); }
    bool notify(QObject *receiver, QEvent *event) override;

    std::string phase = "none";
    std::uint64_t probeFirings = 0;
    std::vector<Slow> slow;
    // The longest event (not a nested loop) by phase and then receiver, as
    // the receiver is written in `Slow`.
    std::map<std::string, std::map<std::string, double>> longest;

private:
    QElapsedTimer m_clock;
    int m_depth = 0;
};

// A 5 ms timer on the GUI thread; each firing's lateness is the time since
// the one before, less 5 ms. Samples are kept per phase of the script.
class LatenessProbe : public QObject {
public:
    static constexpr int kIntervalMs = 5;

    explicit LatenessProbe(QObject *parent);
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    std::function<void()> OnFired;
    // Names the phase the next samples belong to, here and in the
    // application object when it is a TimingApplication.
    void phase(const std::string &name);
    const std::vector<std::string> &phases() const { return m_order; }
    const std::vector<double> &samples(const std::string &name) { return m_samples[name]; }
    double worstAtMs(const std::string &name) { return m_worstAt[name]; }
    double sinceStartMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }

private:
    void fired();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::string m_phase = "none";
    std::string m_lastPhase = "none";
    std::vector<std::string> m_order;
    std::map<std::string, std::vector<double>> m_samples;
    std::map<std::string, double> m_worstAt;
};

} // namespace programbench
