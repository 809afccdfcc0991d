#include "playgame.h"

#include "imagecontrol.h"
#include "mainform.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace programbench {

int playGame(Tmain &w, std::uint32_t seed, HandlerLog *log)
{
    const auto timed = [log](const char *name, const std::function<void()> &call) {
        QElapsedTimer clock;
        clock.start();
        call();
        if (log)
            (*log)[name].push_back(double(clock.nsecsElapsed()) / 1e6);
    };
    w.random().setSeed(seed);
    timed("button_startClick", [&] { w.button_startClick(); });
    int rounds = 0;
    for (;;) {
        ++rounds;
        for (int row = 1; row <= 4; ++row)
            for (int column = 1; column <= 4; ++column) {
                ImageControl *cell = w.findChild<ImageControl *>(QStringLiteral("card_%1%2").arg(row).arg(column));
                timed("card_11Click", [&] { w.card_11Click(cell); });
                QCoreApplication::processEvents();
            }
        // Ticks until the outcome: the real timer may have ticked meanwhile.
        while (w.resultCountdown() >= 0)
            timed("Timer2Timer", [&] { w.Timer2Timer(); });
        QCoreApplication::processEvents();
        if (!w.gameInProgress() || rounds > 50)
            return rounds;
        timed("button_start2Click", [&] { w.button_start2Click(); });
    }
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace programbench
