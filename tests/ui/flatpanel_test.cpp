// The flat panel as it paints: border, see-through mode and the caption,
// enabled and embossed.
#include "flatpanel.h"
#include "imagecontrol.h"
#include "lbbackground.h"
#include "scaledlayout.h"

#include "pixels.h"

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

namespace {

const QColor kHighlight(255, 0, 0);
const QColor kShadow(0, 0, 255);
const QColor kFill(250, 240, 20);

// A tiled window with a see-through panel, a second one inside it and a
// third hanging over the window's corner: each shows the window's tile
// exactly where it covers it, inside its border.
TEST(FlatPanel, TransparentPanelShowsTheParentsTile)
{
    QWidget window;
    window.resize(320, 240);
    auto *background = new TLbBackground(&window);
    background->setImage(pixels::patternTile());
    background->setEnabled(true);
    auto *outer = new TFlatPanel(&window, QStringLiteral("outer"), QRect(37, 53, 150, 120));
    auto *inner = new TFlatPanel(outer, QStringLiteral("inner"), QRect(11, 17, 90, 70));
    auto *corner = new TFlatPanel(&window, QStringLiteral("corner"), QRect(-20, -10, 60, 40));
    for (TFlatPanel *p : {outer, inner, corner}) {
        p->setTransparent(true);
        p->setBorderColor(0, kHighlight);
        p->setBorderColor(1, kShadow);
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    struct Row {
        TFlatPanel *panel;
        QPoint origin;  // in the window
    };
    for (const Row &row : {Row{outer, {37, 53}}, Row{inner, {48, 70}}, Row{corner, {-20, -10}}}) {
        SCOPED_TRACE(row.panel->objectName().toStdString());
        const QImage shot = pixels::grab(row.panel);
        int mismatches = 0;
        for (int y = 1; y < shot.height() - 1; ++y)
            for (int x = 1; x < shot.width() - 1; ++x) {
                const QPoint w = row.origin + QPoint(x, y);
                if ((row.panel == outer && QRect(10, 16, 92, 72).contains(x, y)) || w.x() < 0 || w.y() < 0)
                    continue;  // under the inner panel, or beyond the window
                mismatches += shot.pixelColor(x, y) != pixels::patternAt(w.x() % 100, w.y() % 100);
            }
        EXPECT_EQ(mismatches, 0);
        // Top and left in the highlight, bottom and right (corners
        // included) in the shadow colour.
        const int r = shot.width() - 1, b = shot.height() - 1;
        for (QPoint p : {QPoint(0, 0), QPoint(r - 1, 0), QPoint(0, b - 1)})
            EXPECT_EQ(shot.pixelColor(p), kHighlight);
        for (QPoint p : {QPoint(r, 0), QPoint(r, b), QPoint(0, b)})
            EXPECT_EQ(shot.pixelColor(p), kShadow);
    }

    inner->setTransparent(false);
    inner->setColor(kFill);
    EXPECT_EQ(pixels::grab(inner).pixelColor(20, 20), kFill);
}

TEST(FlatPanel, TransparentWithoutParentPaintsOnlyBorderAndCaption)
{
    TFlatPanel panel(nullptr, QStringLiteral("panel"));
    panel.setTransparent(true);
    panel.setColor(kFill);
    panel.setBorderColors(kShadow);
    panel.setCaption(QStringLiteral("Hello"));
    const QImage shot = pixels::grab(&panel);
    EXPECT_TRUE(pixels::inkBox(shot.copy(1, 1, 183, 39), [](QColor c) { return c == kFill; }).isEmpty());
    EXPECT_EQ(shot.pixelColor(0, 0), kShadow);
    EXPECT_FALSE(pixels::inkBox(shot, [](QColor c) { return c.lightness() < 60; }).isEmpty());
}

// On a grown board the bevel and the keyboard focus frame grow with it, by
// whole pixels, and are as they were at factor 1.
TEST(FlatPanel, BorderAndFocusFrameGrowWithTheBoard)
{
    struct Row {
        qreal factor;
        int line;  // the bevel's width
        int band;  // the focus frame's
    };
    const Row rows[] = {{1, 1, 4}, {1.5, 2, 8}, {2, 2, 8}, {3, 3, 12}};
    // How many pixels from `from`, stepping by `step`, are `colour`.
    const auto run = [](const QImage &shot, QPoint from, QPoint step, const std::function<bool(QColor)> &colour) {
        int n = 0;
        for (QPoint p = from; shot.rect().contains(p) && colour(shot.pixelColor(p)); p += step)
            ++n;
        return n;
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.factor);
        QWidget board;
        board.resize(200, 100);
        auto *panel = new TFlatPanel(&board, QStringLiteral("panel"), QRect(10, 10, 120, 60));
        panel->setColor(kFill);
        panel->setBorderColor(0, kHighlight);
        panel->setBorderColor(1, kShadow);
        ScaledLayout(&board).apply(row.factor);
        const QImage shot = pixels::grab(panel);
        const int r = shot.width() - 1, b = shot.height() - 1, mx = shot.width() / 2, my = shot.height() / 2;
        const auto is = [](QColor wanted) { return [wanted](QColor c) { return c == wanted; }; };
        EXPECT_EQ(run(shot, {0, my}, {1, 0}, is(kHighlight)), row.line);
        EXPECT_EQ(run(shot, {mx, 0}, {0, 1}, is(kHighlight)), row.line);
        EXPECT_EQ(run(shot, {r, my}, {-1, 0}, is(kShadow)), row.line);
        EXPECT_EQ(run(shot, {mx, b}, {0, -1}, is(kShadow)), row.line);

        QImage framed(120, 60, QImage::Format_RGB32);
        framed.fill(kFill);
        {
            QPainter painter(&framed);
            drawFocusFrame(painter, framed.rect(), row.factor);
        }
        const auto inked = [](QColor c) { return c == Qt::black || c == Qt::white; };
        EXPECT_EQ(run(framed, {0, 30}, {1, 0}, inked), row.band);
        EXPECT_EQ(run(framed, {119, 30}, {-1, 0}, inked), row.band);
        EXPECT_EQ(run(framed, {60, 0}, {0, 1}, inked), row.band);
        EXPECT_EQ(run(framed, {60, 59}, {0, -1}, inked), row.band);
    }
}

// Aliased text, so every caption pixel is exactly one of the colours drawn.
TEST(FlatPanel, DisabledCaptionIsEmbossed)
{
    QWidget window;
    auto *panel = new TFlatPanel(&window, QStringLiteral("panel"), QRect(0, 0, 120, 40));
    panel->setColor(kFill);
    panel->setCaption(QStringLiteral("Wait"));
    QFont font = panel->font();
    font.setPixelSize(16);
    font.setStyleStrategy(QFont::NoAntialias);
    panel->setFont(font);

    auto pointsOf = [](const QImage &shot, const QColor &color) {
        std::set<std::pair<int, int>> points;
        for (int y = 1; y < shot.height() - 1; ++y)
            for (int x = 1; x < shot.width() - 1; ++x)
                if (shot.pixel(x, y) == color.rgb())  // system colours may carry extra precision
                    points.emplace(x, y);
        return points;
    };
    const auto text = pointsOf(pixels::grab(panel), panel->palette().color(QPalette::WindowText));
    ASSERT_FALSE(text.empty());

    window.setEnabled(false);
    const QImage disabled = pixels::grab(panel);
    const auto shadow = pointsOf(disabled, TFlatPanel::systemButtonShadow());
    const auto highlight = pointsOf(disabled, TFlatPanel::systemButtonHighlight());
    // The shadow copy sits where the enabled caption was; the highlight
    // copy is the same shape one pixel right and down, hidden where the
    // shadow copy lies over it.
    EXPECT_EQ(shadow, text);
    ASSERT_FALSE(highlight.empty());
    for (const auto &[x, y] : text)
        EXPECT_EQ(highlight.count({x + 1, y + 1}) > 0, shadow.count({x + 1, y + 1}) == 0) << x << "," << y;
    for (const auto &[x, y] : highlight)
        EXPECT_TRUE(text.count({x - 1, y - 1})) << x << "," << y;
}

} // namespace
