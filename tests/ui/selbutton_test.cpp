// The flat text button: its looks under the pointer, its own enabled flag
// and callbacks, and where it puts the caption.
#include "selbutton.h"

#include "pixels.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Look = TSelButton::Look;

const QPoint kInside(30, 10);
const QPoint kOutside(150, 60);  // in the window, off the button

class SelButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(200, 100);
        button = new TSelButton(window.get(), QStringLiteral("SelButton1"), QRect(10, 10, 105, 20));
        // Each callback records the look at the moment it runs.
        button->setOnClick([this](TSelButton *) { clicks.push_back(button->look()); });
        button->setOnMouseDown(
            [this](TSelButton *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { downs.push_back(button->look()); });
        button->setOnMouseUp(
            [this](TSelButton *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ups.push_back(button->look()); });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        moveTo(kOutside);
    }

    // Through the window system, so Qt routes presses to the widget under
    // the pointer, holds the pointer while a button is down and sends
    // enter and leave as on screen.
    QPoint inWindow(QPoint p) const { return p == kOutside ? p : button->mapToParent(p); }
    void moveTo(QPoint p) { QTest::mouseMove(window->windowHandle(), inWindow(p)); }
    void press(Qt::MouseButton b) { QTest::mousePress(window->windowHandle(), b, {}, inWindow(kInside)); }
    void release(Qt::MouseButton b, QPoint p = kInside) { QTest::mouseRelease(window->windowHandle(), b, {}, inWindow(p)); }

    std::unique_ptr<QWidget> window;
    TSelButton *button = nullptr;
    std::vector<Look> clicks, downs, ups;
};

enum class Step { In, Out, LeftDown, LeftUp, LeftUpOutside, RightDown, RightUp, MiddleDown, MiddleUp, Off, On };

TEST_F(SelButtonTest, LooksFollowThePointer)
{
    using S = Step;
    struct Row {
        const char *name;
        std::vector<Step> steps;
        Look look;
        bool hoverCaption;  // caption in the hover colour, else the font's
        std::vector<Look> clicks, downs, ups;
    };
    const Row rows[] = {
        {"enter", {S::In}, Look::Hover, true, {}, {}, {}},
        {"enter and leave", {S::In, S::Out}, Look::Normal, false, {}, {}, {}},
        {"press raises before drawing", {S::In, S::LeftDown}, Look::Pressed, true, {}, {Look::Hover}, {}},
        {"click: normal, OnClick, then hover", {S::In, S::LeftDown, S::LeftUp}, Look::Hover, true, {Look::Normal},
         {Look::Hover}, {Look::Normal}},
        {"release outside", {S::In, S::LeftDown, S::Out, S::LeftUpOutside}, Look::Normal, false, {}, {Look::Hover},
         {Look::Pressed}},
        {"right button", {S::In, S::RightDown, S::RightUp}, Look::Hover, true, {}, {}, {}},
        {"middle button", {S::In, S::MiddleDown, S::MiddleUp}, Look::Hover, true, {}, {}, {}},
        {"off: enter", {S::Off, S::In}, Look::Normal, false, {}, {}, {}},
        {"off: press", {S::Off, S::In, S::LeftDown}, Look::Normal, false, {}, {}, {}},
        {"off after hover: press", {S::In, S::Off, S::LeftDown}, Look::Hover, true, {}, {}, {}},
        {"off after hover: click", {S::In, S::Off, S::LeftDown, S::LeftUp}, Look::Normal, false, {}, {}, {}},
        {"off after hover: leave", {S::In, S::Off, S::Out}, Look::Normal, false, {}, {}, {}},
        {"pressed keeps the caption colour", {S::Off, S::In, S::On, S::LeftDown}, Look::Pressed, false, {},
         {Look::Normal}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        moveTo(kOutside);
        button->setButtonEnabled(true);
        clicks.clear(), downs.clear(), ups.clear();
        for (Step step : row.steps) {
            switch (step) {
            case S::In: moveTo(kInside); break;
            case S::Out: moveTo(kOutside); break;
            case S::LeftDown: press(Qt::LeftButton); break;
            case S::LeftUp: release(Qt::LeftButton); break;
            case S::LeftUpOutside: release(Qt::LeftButton, kOutside); break;
            case S::RightDown: press(Qt::RightButton); break;
            case S::RightUp: release(Qt::RightButton); break;
            case S::MiddleDown: press(Qt::MiddleButton); break;
            case S::MiddleUp: release(Qt::MiddleButton); break;
            case S::Off: button->setButtonEnabled(false); break;
            case S::On: button->setButtonEnabled(true); break;
            }
        }
        EXPECT_EQ(button->look(), row.look);
        EXPECT_EQ(button->captionColor(), row.hoverCaption ? button->colorOverCaption() : button->fontColor());
        EXPECT_EQ(clicks, row.clicks);
        EXPECT_EQ(downs, row.downs);
        EXPECT_EQ(ups, row.ups);
        if (row.steps.back() == S::LeftDown)
            release(Qt::LeftButton, kOutside);
    }
}

// The release decides on the hover look by what lies under the pointer.
// Events go straight to the button here, so no leave from the window
// system can redraw the look afterwards.
TEST_F(SelButtonTest, ReleaseDrawsHoverOnlyOverTheButton)
{
    auto *cover = new QWidget(window.get());
    cover->setGeometry(button->geometry().right() - 20, 0, 40, 60);
    cover->setEnabled(false);
    struct Row {
        const char *name;
        bool covered;
        QPoint release;
        Look look;
    };
    for (const Row &row : {Row{"inside", false, {80, 10}, Look::Hover}, Row{"outside", false, {80, 40}, Look::Pressed},
                           Row{"under a disabled widget", true, {100, 10}, Look::Normal}}) {
        SCOPED_TRACE(row.name);
        cover->setVisible(row.covered);
        cover->raise();
        QTest::mousePress(button, Qt::LeftButton, {}, kInside);
        QTest::mouseRelease(button, Qt::LeftButton, {}, row.release);
        EXPECT_EQ(button->look(), row.look);
    }
}

TEST_F(SelButtonTest, CaptionPositionsAndFills)
{
    button->setCaption(QStringLiteral("Overview"));
    button->resize(123, 21);
    button->setColorBorder(QColor(90, 90, 90));
    button->setBorderWidth(2);
    button->setColor(Qt::white);
    button->setColorOver(QColor(250, 250, 200));
    button->setColorDown(QColor(200, 250, 250));
    const QFontMetrics metrics(button->font());
    const int tw = metrics.horizontalAdvance(button->caption());
    const int th = metrics.height();
    const int w = 123, y = 21 / 2 - th / 2;

    struct Row {
        Qt::Alignment alignment;
        QPoint normal, pressed;
    };
    const Row rows[] = {
        {Qt::AlignLeft, {5, y}, {6, y + 1}},
        {Qt::AlignHCenter, {w / 2 - tw / 2, y}, {w / 2 - tw / 2 + 1, y + 1}},
        {Qt::AlignRight, {w - tw - 6, y}, {w - tw - 7, y + 1}},
    };
    auto dark = [](QColor c) { return c.lightness() < 160; };
    for (const Row &row : rows) {
        SCOPED_TRACE(int(row.alignment));
        moveTo(kOutside);
        button->setAlignment(row.alignment);
        EXPECT_EQ(button->captionPosition(Look::Normal), row.normal);
        EXPECT_EQ(button->captionPosition(Look::Hover), row.normal);
        EXPECT_EQ(button->captionPosition(Look::Pressed), row.pressed);

        // The ink lies in the caption's box and pressing moves it by the
        // difference of the two positions; two frames, then the fill.
        moveTo(kInside);
        const QImage hover = pixels::grab(button);
        press(Qt::LeftButton);
        const QImage pressed = pixels::grab(button);
        release(Qt::LeftButton, kOutside);
        const QRect inner(2, 2, 119, 17);
        const QRect hoverInk = pixels::inkBox(hover.copy(inner), dark).translated(inner.topLeft());
        const QRect pressedInk = pixels::inkBox(pressed.copy(inner), dark).translated(inner.topLeft());
        ASSERT_FALSE(hoverInk.isEmpty());
        EXPECT_TRUE(QRect(row.normal, QSize(tw, th)).adjusted(-1, 0, 1, 0).contains(hoverInk));
        EXPECT_EQ(pressedInk.topLeft() - hoverInk.topLeft(), row.pressed - row.normal);
        for (QPoint frame : {QPoint(0, 0), QPoint(1, 1), QPoint(121, 19), QPoint(122, 20)})
            EXPECT_EQ(hover.pixelColor(frame), QColor(90, 90, 90));
        EXPECT_EQ(hover.pixelColor(2, 2), button->colorOver());
        EXPECT_EQ(pressed.pixelColor(2, 2), button->colorDown());
    }
}

} // namespace
