// Show Hint: when the item is offered, the mark on the advisor's cell, its
// removal, and requests that repeat or come too late.
#include "gamefixture.h"

#include "advisor.h"
#include "hintmark.h"
#include "hintrunner.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <functional>

namespace {

constexpr int kWaitMs = 5000;

class HintTest : public GameTest {
protected:
    HintMark *mark() const { return control<HintMark>(QStringLiteral("HintMark")); }
    QAction *item() const { return action(QStringLiteral("ShowHint1")); }
    ImageControl *nextCard() const { return control<ImageControl>(QStringLiteral("image_nextcard")); }

    // The cell (index (row − 1) × 4 + column − 1) the ring surrounds, as a
    // player sees it; −1 when no ring shows.
    int markedCell() const
    {
        if (!mark()->isVisibleTo(window.get()))
            return -1;
        for (int index = 0; index < advisor::kCells; ++index) {
            const QRect c = cell(index / 4 + 1, index % 4 + 1)->geometry();
            if (mark()->geometry().contains(c) && mark()->geometry().center() == c.center())
                return index;
        }
        return -2;  // a ring round no cell
    }
    // What the advisor says for the board and card the player sees now.
    int advised() const
    {
        advisor::Position position;
        for (int index = 0; index < advisor::kCells; ++index)
            position.board[index] = cell(index / 4 + 1, index % 4 + 1)->tag();
        position.card = nextCard()->tag();
        return advisor::advise(position, HintRunner::seedFor(position)).cell;
    }
    // Places the next card on the first `count` cells in reading order.
    void place(int count)
    {
        for (int index = 0; index < count; ++index)
            window->card_11Click(cell(index / 4 + 1, index % 4 + 1));
    }
    void showBreakdown() { window->label_linescore1Click(label(QStringLiteral("label_linescore1"))); }
    bool waitForMark() { return QTest::qWaitFor([this] { return markedCell() != -1; }, kWaitMs); }
};

TEST_F(HintTest, OfferedOnlyWhileACardWaitsWithNothingOverTheBoard)
{
    struct Row {
        const char *state;
        std::function<void()> reach;
        bool offered;
    };
    const Row rows[] = {
        {"name panel at start", [] {}, false},
        {"no game yet", [this] { window->button_namecancelClick(); }, false},
        {"round just dealt", [this] { startGame(7); }, true},
        {"nine cards placed", [this] { startGame(7); place(9); }, true},
        {"name panel over the round", [this] { startGame(7); place(3); window->ChangeName1Click(); }, false},
        {"name panel closed again",
         [this] { startGame(7); window->ChangeName1Click(); window->button_namecancelClick(); }, true},
        {"breakdown over the round", [this] { startGame(7); place(4); showBreakdown(); }, false},
        {"breakdown closed", [this] { startGame(7); place(4); showBreakdown(); window->Image1Click(); }, true},
        {"sixteenth card placed", [this] { startGame(7); place(16); }, false},
        {"game over", [this] { startGame(7); place(16); tickUntilOutcome(); }, false},
    };
    // The item: last in the Options menu, key H.
    EXPECT_EQ(control<QMenu>(QStringLiteral("Options1"))->actions().last(), item());
    EXPECT_EQ(item()->text(), QStringLiteral("Show Hint"));
    EXPECT_EQ(item()->shortcut(), QKeySequence(Qt::Key_H));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.state);
        SetUp();
        row.reach();
        EXPECT_EQ(item()->isEnabled(), row.offered);
        // The handler checks for itself too, whatever the item's state.
        QSignalSpy runs(window.get(), &Tmain::hintRequested);
        window->ShowHint1Click();
        EXPECT_EQ(runs.count(), row.offered ? 1 : 0);
        if (row.offered) {
            ASSERT_TRUE(waitForMark());
            EXPECT_EQ(markedCell(), advised());
        } else {
            QCoreApplication::processEvents();
            EXPECT_EQ(markedCell(), -1);
        }
    }
}

TEST_F(HintTest, MarksTheAdvisedCellUntilTheCardIsPlacedThere)
{
    struct Row {
        std::uint32_t seed;
        int placedBefore;
        bool byKey;  // H rather than the menu item
    };
    const Row rows[] = {{1, 0, false}, {2024, 6, true}, {31337, 11, false}, {5, 15, true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "seed " << row.seed << ", " << row.placedBefore << " placed");
        SetUp();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        startGame(row.seed);
        place(row.placedBefore);
        const int waiting = nextCard()->tag();
        const int expected = advised();
        ASSERT_GE(expected, 0);

        if (row.byKey)
            QTest::keyClick(window.get(), Qt::Key_H);
        else
            item()->trigger();
        ASSERT_TRUE(waitForMark());
        EXPECT_EQ(markedCell(), expected);
        ImageControl *target = cell(expected / 4 + 1, expected % 4 + 1);
        EXPECT_TRUE(target->accessibleName().endsWith(QStringLiteral(", advised"))) << target->accessibleName().toStdString();
        EXPECT_EQ(target->tag(), cards::kNoCard);  // a hint never places the card itself

        // A real click on the ring reaches the cell under it.
        const QPoint at = target->mapTo(window.get(), target->rect().center());
        EXPECT_EQ(window->childAt(at), target);
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
        EXPECT_EQ(target->tag(), waiting);
        EXPECT_EQ(markedCell(), -1);
        EXPECT_EQ(item()->isEnabled(), row.placedBefore + 1 < Deck::kBoardCards);
    }
}

TEST_F(HintTest, RepeatedOrOutdatedRequestsRunTheAdvisorOnlyForTheCardThatWaits)
{
    struct Row {
        const char *what;
        std::function<void()> ask;
        int runs;
    };
    const Row rows[] = {
        {"asked twice at once", [this] { item()->trigger(); item()->trigger(); }, 1},
        {"asked again while marked", [this] { item()->trigger(); (void)waitForMark(); item()->trigger(); }, 1},
        // The first answer arrives after its card has gone: it is dropped,
        // and the second request runs once the first is over.
        {"card placed meanwhile",
         [this] { item()->trigger(); place(1); item()->trigger(); item()->trigger(); }, 2},
        {"new round meanwhile", [this] { item()->trigger(); startGame(99); item()->trigger(); }, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        startGame(3);
        QSignalSpy runs(window.get(), &Tmain::hintRequested);
        row.ask();
        ASSERT_TRUE(waitForMark());
        EXPECT_EQ(runs.count(), row.runs);
        EXPECT_EQ(markedCell(), advised());
    }
    // A run still going when the window closes posts to no dead window.
    window->ShowHint1Click();
    window.reset();
    QCoreApplication::processEvents();
}

} // namespace
