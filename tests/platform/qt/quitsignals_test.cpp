// The desktop's ways of ending a program arrive as one Qt signal.
#include "quitsignals.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>

namespace {

bool hasDefaultAction(int number)
{
    struct sigaction current = {};
    ::sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

TEST(QuitSignals, EachArrivesOnceOnTheGuiThreadAndASecondOneIsFatalAgain)
{
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        platform::QuitSignals signals;
        ASSERT_TRUE(signals.isActive());
        EXPECT_FALSE(hasDefaultAction(number));
        QSignalSpy spy(&signals, &platform::QuitSignals::quitRequested);
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(spy.wait(5000));
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), number);
        for (int other : {SIGTERM, SIGINT, SIGHUP})
            EXPECT_TRUE(hasDefaultAction(other)) << other;
    }
}

} // namespace
