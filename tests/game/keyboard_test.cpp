// Playing by the keyboard: focus after panels close, Enter and Escape, a
// round placed by keys only, the focus frame and the screen-reader names.
#include "gamefixture.h"

#include "aboutform.h"
#include "helpform.h"
#include "highscoreform.h"
#include "multiplayerform.h"
#include "program.h"
#include "secondarywindow.h"
#include "tallylistform.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QTest>

#include <functional>
#include <utility>
#include <vector>

namespace {

class KeyboardTest : public GameTest {
protected:
    // Shows the window and makes it the one that takes the keys.
    bool showActive()
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    QWidget *focus() const { return QApplication::focusWidget(); }
    // Real key events to whatever has the focus.
    void key(Qt::Key k) { QTest::keyClick(static_cast<QWidget *>(nullptr), k); }
    void type(const QString &text) { QTest::keyClicks(static_cast<QWidget *>(nullptr), text); }
    bool visible(const char *name) const { return control(QString::fromLatin1(name))->isVisible(); }
    QLineEdit *edit(const char *name) const { return control<QLineEdit>(QString::fromLatin1(name)); }
    // Moves the focus by arrow keys from cell (row, column) to (toRow, toColumn).
    void walk(int &row, int &column, int toRow, int toColumn)
    {
        for (; row < toRow; ++row)
            key(Qt::Key_Down);
        for (; row > toRow; --row)
            key(Qt::Key_Up);
        for (; column < toColumn; ++column)
            key(Qt::Key_Right);
        for (; column > toColumn; --column)
            key(Qt::Key_Left);
    }
    QString accessibleName(QWidget *w) const
    {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        return face ? face->text(QAccessible::Name) : QString();
    }
};

// Placements in an order other than reading order, so that the arrow keys
// cross the board in every direction.
const std::vector<std::pair<int, int>> kPlacements = {
    {2, 3}, {4, 4}, {1, 1}, {3, 2}, {1, 4}, {4, 1}, {2, 2}, {3, 3},
    {1, 2}, {4, 3}, {2, 1}, {3, 4}, {1, 3}, {4, 2}, {2, 4}, {3, 1},
};

TEST_F(KeyboardTest, ClosingTheNamePanelLeavesNoKeysToTheHiddenBox)
{
    struct Row {
        const char *how;
        std::function<void()> close;
        bool takesName;  // the typed name becomes the player's
    };
    const Row rows[] = {
        {"Done clicked", [this] { QTest::mouseClick(control(QStringLiteral("button_namedone")), Qt::LeftButton); }, true},
        {"Close clicked", [this] { QTest::mouseClick(control(QStringLiteral("button_namecancel")), Qt::LeftButton); }, false},
        {"Enter", [this] { key(Qt::Key_Return); }, true},
        {"Escape", [this] { key(Qt::Key_Escape); }, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.how);
        SetUp();
        ASSERT_TRUE(showActive());
        ASSERT_EQ(focus(), edit("edit_aname"));
        const QString before = edit("edit_name")->text();
        edit("edit_aname")->clear();
        type(QStringLiteral("Alice"));
        row.close();
        EXPECT_FALSE(visible("panel_name"));
        type(QStringLiteral(" f"));
        ASSERT_NE(focus(), nullptr);
        // The board, not the next cell as if by Tab (a frame for a mouse player).
        EXPECT_EQ(focus(), control(QStringLiteral("panel_board"))) << focus()->objectName().toStdString();
        EXPECT_EQ(edit("edit_aname")->text(), QStringLiteral("Alice"));
        EXPECT_EQ(edit("edit_name")->text(), row.takesName ? QStringLiteral("Alice") : before);
    }
}

TEST_F(KeyboardTest, EnterAndEscapeAnswerPanelsAsTheirButtons)
{
    struct Row {
        const char *panel;
        std::function<void()> open;
        Qt::Key key;
        bool closes;
    };
    const auto openBreakdown = [this] {
        startGame(152);
        fillBoard();
        window->label_linescore1Click(label(QStringLiteral("label_linescore7")));
    };
    const auto openOver = [this] {
        startGame(152);  // a first round of 54: game over
        fillBoard();
        tickUntilOutcome();
    };
    const Row rows[] = {
        {"panel_linescore", openBreakdown, Qt::Key_Escape, true},
        {"panel_linescore", openBreakdown, Qt::Key_Return, true},  // on its Close, which has the focus
        {"panel_over", openOver, Qt::Key_Escape, true},
        {"panel_name", [this] { window->ChangeName1Click(); }, Qt::Key_Escape, true},
        {"panel_update", [this] { control(QStringLiteral("panel_update"))->show(); }, Qt::Key_Escape, true},
        // While the update runs its Cancel is gone, and so is Escape's.
        {"panel_update",
         [this] {
             control(QStringLiteral("panel_update"))->show();
             control(QStringLiteral("button_updatecancel"))->hide();
         },
         Qt::Key_Escape, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.panel) + " key " + std::to_string(row.key));
        SetUp();
        ASSERT_TRUE(showActive());
        key(Qt::Key_Escape);  // the name panel shown at start
        row.open();
        ASSERT_TRUE(visible(row.panel));
        key(row.key);
        EXPECT_EQ(visible(row.panel), !row.closes);
    }

    Program program(sound, folder.path());
    for (SecondaryWindow *w : std::initializer_list<SecondaryWindow *>{
             &program.about(), &program.help(), &program.highscore(), &program.tallylist(), &program.multiplayer()}) {
        SCOPED_TRACE(w->objectName().toStdString());
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        key(Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(KeyboardTest, ARoundByKeysOnlyEndsAsTheSameRoundByClicks)
{
    constexpr std::uint32_t kSeed = 4711;
    Tmain clicked(sound, folder.path());
    clicked.random().setSeed(kSeed);
    clicked.button_startClick();
    for (const auto &[row, column] : kPlacements)
        QTest::mouseClick(clicked.findChild<QWidget *>(QStringLiteral("card_%1%2").arg(row).arg(column)), Qt::LeftButton);

    ASSERT_TRUE(showActive());
    key(Qt::Key_Escape);
    window->random().setSeed(kSeed);
    // Tab round to Start, then Enter.
    for (int i = 0; i < 60 && focus() != control(QStringLiteral("button_start")); ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(focus(), control(QStringLiteral("button_start")));
    key(Qt::Key_Return);
    ASSERT_TRUE(window->gameInProgress());
    key(Qt::Key_Right);  // from the board into the first cell
    int row = 1;
    int column = 1;
    ASSERT_EQ(focus(), cell(row, column));
    for (std::size_t k = 0; k < kPlacements.size(); ++k) {
        walk(row, column, kPlacements[k].first, kPlacements[k].second);
        ASSERT_EQ(focus(), cell(row, column));
        key(k % 2 ? Qt::Key_Space : Qt::Key_Return);
    }
    EXPECT_FALSE(window->deck().dealPosition() <= Deck::kBoardCards);
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 5; ++c)
            EXPECT_EQ(cell(r, c)->tag(),
                      clicked.findChild<ImageControl *>(QStringLiteral("card_%1%2").arg(r).arg(c))->tag())
                << r << c;
    EXPECT_EQ(caption(QStringLiteral("label_score")),
              clicked.findChild<TagLabel *>(QStringLiteral("label_score"))->text());

    // An occupied cell by key is "invalid", as by a click; the breakdown by
    // Tab to a line score and Enter.
    sound.played.clear();
    key(Qt::Key_Space);
    EXPECT_EQ(sound.played, std::vector<std::string>{"invalid"});
    for (int i = 0; i < 40 && focus() != label(QStringLiteral("label_linescore6")); ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(focus(), label(QStringLiteral("label_linescore6")));
    key(Qt::Key_Return);
    EXPECT_TRUE(visible("panel_linescore"));
}

TEST_F(KeyboardTest, WhatAPanelCoversIsOutOfTheKeysReach)
{
    struct Row {
        const char *what;
        std::function<void()> open;
        const char *covered;
    };
    const Row rows[] = {
        {"name panel over a cell", [this] { window->ChangeName1Click(); }, "card_11"},
        {"breakdown over a cell",
         [this] {
             startGame(152);
             fillBoard();
             window->label_linescore1Click(label(QStringLiteral("label_linescore7")));
         },
         "card_22"},
        // The posting wait over Send Score, pressed by Enter: a second Enter
        // must not post again.
        {"posting wait over Send Score",
         [this] {
             startGame(152);
             fillBoard();
             tickUntilOutcome();
             control(QStringLiteral("button_sendscore"))->setFocus(Qt::TabFocusReason);
             key(Qt::Key_Return);
         },
         "button_sendscore"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        ASSERT_TRUE(showActive());
        key(Qt::Key_Escape);
        row.open();
        QWidget *hidden = control(QString::fromLatin1(row.covered));
        bool reached = focus() == hidden;
        for (int i = 0; i < 60 && !reached; ++i) {
            key(i % 3 ? Qt::Key_Tab : Qt::Key_Down);
            reached = focus() == hidden;
        }
        EXPECT_FALSE(reached);
    }
}

TEST_F(KeyboardTest, FocusFrameOnlyByKeysAndGoneWhenAPanelTakesTheFocus)
{
    ASSERT_TRUE(showActive());
    key(Qt::Key_Escape);
    ImageControl *target = cell(4, 4);  // clear of the name panel
    const QRect area(target->mapTo(window.get(), QPoint(0, 0)), target->size());
    const auto shot = [&] { return window->grab(area).toImage(); };
    const QImage plain = shot();
    QTest::mouseClick(target, Qt::LeftButton);  // the mouse shows no frame
    EXPECT_EQ(shot(), plain);

    key(Qt::Key_Down);
    int row = 1;
    int column = 1;
    walk(row, column, 4, 4);
    ASSERT_EQ(focus(), target);
    const QImage framed = shot();
    EXPECT_NE(framed, plain);
    // A black and a white pixel on the ring, one pixel in from the edge.
    const qreal ratio = framed.devicePixelRatio();
    bool black = false;
    bool white = false;
    for (int x = 2; x < target->width() - 2; ++x) {
        const QRgb p = framed.pixel(QPoint(x, 1) * ratio);
        black = black || p == qRgb(0, 0, 0);
        white = white || p == qRgb(255, 255, 255);
    }
    EXPECT_TRUE(black && white);

    window->ChangeName1Click();
    EXPECT_EQ(focus(), edit("edit_aname"));
    EXPECT_EQ(shot(), plain);
}

TEST_F(KeyboardTest, ScreenReadersHearCellsAndScores)
{
    static const char *const kRanks[] = {"ace", "two", "three", "four", "five", "six", "seven",
                                         "eight", "nine", "ten", "jack", "queen", "king"};
    static const char *const kSuits[] = {"clubs", "diamonds", "hearts", "spades"};
    const auto spoken = [](int code) {
        return QString::fromLatin1(kRanks[(code - 1) % 13]) + QStringLiteral(" of ")
               + QString::fromLatin1(kSuits[(code - 1) / 13]);
    };
    startGame(152);
    const int next = window->deck().current();
    struct Row {
        const char *what;
        std::function<void()> act;
        const char *control;
        std::function<QString()> expected;
    };
    const Row rows[] = {
        {"empty cell", [] {}, "card_23", [] { return QStringLiteral("Row 2, column 3: empty"); }},
        {"next card", [] {}, "image_nextcard", [&] { return QStringLiteral("Next card: ") + spoken(next); }},
        {"filled cell", [&] { window->card_11Click(cell(2, 3)); }, "card_23",
         [&] { return QStringLiteral("Row 2, column 3: ") + spoken(next); }},
        {"line score",
         [&] {
             fillBoard();
             EXPECT_FALSE(caption(QStringLiteral("label_linescore6")).isEmpty());
         },
         "label_linescore6",
         [&] { return QStringLiteral("Column 1 score: ") + caption(QStringLiteral("label_linescore6")); }},
        {"starter", [] {}, "card_55", [&] { return QStringLiteral("Starter: ") + spoken(cell(5, 5)->tag()); }},
        {"hands total", [] {}, "label_score", [&] { return QStringLiteral("Hands total: ") + caption(QStringLiteral("label_score")); }},
        {"new round", [&] { window->button_startClick(); }, "card_23", [] { return QStringLiteral("Row 2, column 3: empty"); }},
        {"picture button", [] {}, "button_start", [] { return QStringLiteral("Start Game"); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        row.act();
        EXPECT_EQ(accessibleName(control(QString::fromLatin1(row.control))), row.expected());
    }
}

} // namespace

// Tab: the board once (at its first empty cell), the line scores in line
// order, the buttons, the footer link; Shift+Tab the same way back.
// Escape on a breakdown leaves the framed focus on its line score.
TEST_F(KeyboardTest, TabOrderTakesTheBoardAsOneStop)
{
    struct Row {
        const char *name;
        std::vector<std::pair<int, int>> placed;
        const char *entry;
    };
    const Row rows[] = {
        {"before a game", {}, "card_11"},
        {"three cards placed", {{1, 1}, {1, 2}, {2, 1}}, "card_13"},
    };
    ASSERT_TRUE(showActive());
    key(Qt::Key_Escape);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.placed.empty()) {
            window->button_startClick();
            for (const auto &[r, c] : row.placed)
                QTest::mouseClick(cell(r, c), Qt::LeftButton);
        }
        control(QStringLiteral("image_logo"))->setFocus(Qt::TabFocusReason);
        std::vector<QString> forward;
        for (int i = 0; i < 30; ++i) {
            key(Qt::Key_Tab);
            forward.push_back(focus() ? focus()->objectName() : QStringLiteral("(none)"));
            if (forward.back() == QLatin1String("image_logo"))
                break;
        }
        std::vector<QString> expected = {QString::fromLatin1(row.entry)};
        for (int line : {1, 2, 3, 4, 6, 7, 8, 9})
            expected.push_back(QStringLiteral("label_linescore%1").arg(line));
        if (row.placed.empty())
            expected.push_back(QStringLiteral("button_start"));
        expected.push_back(QStringLiteral("image_logo"));
        EXPECT_EQ(forward, expected);

        std::vector<QString> backward;
        for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
            key(Qt::Key_Backtab);
            backward.insert(backward.begin(), focus() ? focus()->objectName() : QStringLiteral("(none)"));
        }
        expected.pop_back();
        EXPECT_EQ(backward, expected);
    }

    // Enter on a line score opens its breakdown; Escape closes it and the
    // line score keeps the focus and its frame.
    auto *lineScore = label(QStringLiteral("label_linescore1"));
    lineScore->setFocus(Qt::TabFocusReason);
    const QRect area(lineScore->mapTo(window.get(), QPoint(0, 0)), lineScore->size());
    const QImage framed = window->grab(area).toImage();
    key(Qt::Key_Return);
    ASSERT_TRUE(visible("panel_linescore"));
    key(Qt::Key_Escape);
    EXPECT_FALSE(visible("panel_linescore"));
    EXPECT_EQ(focus(), lineScore);
    EXPECT_EQ(window->grab(area).toImage(), framed);
}
