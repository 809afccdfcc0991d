// The background tiler: where the tiles go, when it draws, and that the
// window's own painting still runs on top.
#include "lbbackground.h"

#include "pixels.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kPlain(0, 0, 160);
const QColor kMark(255, 0, 255);

// A window with a plain background that marks its top-left pixel and
// counts its own paints.
class ProbeWindow : public QWidget {
public:
    ProbeWindow()
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, kPlain);
        setPalette(pal);
        setAutoFillBackground(true);
    }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(0, 0, 1, 1, kMark);
    }
};

// Pixels that differ from the tiling, the window's mark at (0, 0) aside.
int tileMismatches(const QImage &shot)
{
    int mismatches = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            mismatches += (x || y) && shot.pixelColor(x, y) != pixels::patternAt(x % 100, y % 100);
    return mismatches;
}

TEST(LbBackground, TilePositions)
{
    struct Row {
        QSize window, tile;
        int columns, rows;
    };
    const Row rows[] = {
        {{60, 40}, {100, 100}, 2, 2},   {{100, 100}, {100, 100}, 3, 3}, {{250, 130}, {100, 100}, 4, 3},
        {{99, 201}, {100, 100}, 2, 4},  {{30, 30}, {7, 16}, 6, 3},     {{50, 50}, {0, 0}, 0, 0},
    };
    for (const Row &row : rows) {
        const QList<QPoint> tiles = TLbBackground::tilePositions(row.window, row.tile);
        ASSERT_EQ(tiles.size(), row.columns * row.rows) << row.window.width() << "x" << row.window.height();
        // Column by column, each tile at (column × w, row × h).
        for (int i = 0; i < tiles.size(); ++i)
            EXPECT_EQ(tiles[i], QPoint(i / row.rows * row.tile.width(), i % row.rows * row.tile.height())) << i;
    }
}

TEST(LbBackground, TilesUnderTheWindowsOwnPaintingOrNotAtAll)
{
    struct Row {
        const char *name;
        QSize size;
        bool enabled, withImage, tiled;
    };
    const Row rows[] = {
        {"smaller than a tile", {60, 40}, true, true, true},
        {"several tiles", {230, 170}, true, true, true},
        {"off", {120, 80}, false, true, false},
        {"empty image", {120, 80}, true, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ProbeWindow window;
        window.resize(row.size);
        auto *background = new TLbBackground(&window);
        EXPECT_FALSE(background->isEnabled());
        if (row.withImage)
            background->setImage(pixels::patternTile());
        background->setEnabled(row.enabled);
        const QImage shot = pixels::grab(&window);
        EXPECT_EQ(window.paints, 1);
        EXPECT_EQ(shot.pixelColor(0, 0), kMark);
        if (row.tiled)
            EXPECT_EQ(tileMismatches(shot), 0);
        else
            EXPECT_EQ(shot.pixelColor(50, 50), kPlain);
    }
}

TEST(LbBackground, ChangesRepaintTheWindow)
{
    ProbeWindow window;
    window.resize(120, 80);
    auto *background = new TLbBackground(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int before = window.paints;
    background->setImage(pixels::patternTile());
    QTRY_VERIFY(window.paints > before);
    before = window.paints;
    background->setEnabled(true);
    QTRY_VERIFY(window.paints > before);
}

// In a main window the tiles start at the client origin under the menu
// bar, on the central widget.
TEST(LbBackground, MainWindowTilesTheCentralWidget)
{
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&Game"));
    auto *client = new ProbeWindow;
    window.setCentralWidget(client);
    window.resize(300, 220);
    auto *background = new TLbBackground(&window);
    EXPECT_EQ(background->paintTarget(), client);
    background->setImage(pixels::patternTile());
    background->setEnabled(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_GT(client->y(), 0);
    EXPECT_EQ(tileMismatches(pixels::grab(client)), 0);

    // A central widget that arrives later is hooked explicitly.
    auto *later = new ProbeWindow;
    window.setCentralWidget(later);
    background->setPaintTarget(later);
    EXPECT_EQ(tileMismatches(pixels::grab(later)), 0);
}

} // namespace
