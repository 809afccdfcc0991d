#include "workarea.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <limits>

namespace {

// Runs without any application object: the work area must not touch a
// screen that does not exist, and must never be small enough to shrink a
// window on a guess.
TEST(WorkArea, WithoutApplicationNoWindowExceedsIt)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    const QRect area = platform::desktopWorkArea();
    EXPECT_EQ(area.width(), std::numeric_limits<int>::max());
    EXPECT_EQ(area.height(), std::numeric_limits<int>::max());
}

TEST(WorkArea, WithApplicationIsTheScreensAvailableArea)
{
    int argc = 1;
    char name[] = "test_workarea";
    char *argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);

    const QRect area = platform::desktopWorkArea();
    EXPECT_FALSE(area.isEmpty());
    EXPECT_EQ(area, QGuiApplication::primaryScreen()->availableGeometry());
}

} // namespace
