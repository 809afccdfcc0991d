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

// Needs no screen: the desktop is given.
TEST(WorkArea, StoredPlacementStaysReachable)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const QRect fullHd(0, 0, 1920, 1080);
    const QSize minimum(701, 530);
    struct Row {
        const char *name;
        QRect desktop;
        int left, top, width, height;
        QRect expected;
    };
    const Row rows[] = {
        {"ordinary", fullHd, 3, 3, 706, 571, {3, 3, 706, 571}},
        {"a little off the left", fullHd, -5, 3, 706, 571, {-5, 3, 706, 571}},
        {"maximised frame overhang", fullHd, -8, -8, 1936, 1096, {-8, -8, 1936, 1096}},
        {"partly off the bottom right", fullHd, 1500, 900, 706, 571, {1500, 900, 706, 571}},
        {"beyond the overhang", fullHd, -100, -50, 706, 571, {-16, -16, 706, 571}},
        {"off the bottom right", fullHd, 5000, 4000, 706, 571, {1720, 1000, 706, 571}},
        {"larger than the desktop", fullHd, 3, 3, 99999, 99999, {3, 3, 1952, 1112}},
        {"largest ints", fullHd, kMax, kMax, kMax, kMax, {1720, 1000, 1952, 1112}},
        {"smallest ints", fullHd, kMin, kMin, kMin, kMin, {-16, -16, 701, 530}},
        {"below the minimum", fullHd, 10, 10, 100, 0, {10, 10, 701, 530}},
        {"desktop smaller than the minimum", {0, 0, 640, 480}, 0, 0, 2000, 2000, {0, 0, 701, 530}},
        {"screen left of the primary", {-1280, 0, 3200, 1080}, -1000, 100, 706, 571, {-1000, 100, 706, 571}},
        {"left of every screen", {-1280, 0, 3200, 1080}, -2000, 100, 706, 571, {-1296, 100, 706, 571}},
        {"nothing measured", QRect(), -5, 5000, 99999, 99999, {-5, 5000, 99999, 99999}},
        {"nothing measured, smallest ints", QRect(), kMin, kMin, kMin, kMin, {-16, -16, 701, 530}},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(platform::reachablePlacement(row.left, row.top, row.width, row.height, row.desktop, minimum),
                  row.expected)
            << row.name;
    }
}

} // namespace
