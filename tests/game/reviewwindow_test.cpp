// Review Round in the game: the round it is given is the round played,
// the window steps through the placements and marks the cells, and it can
// be closed while the review is still being worked out.
#include "gamefixture.h"

#include "reviewform.h"
#include "selbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>

namespace {

class ReviewWindowTest : public GameTest {
protected:
    // Plays one round of `seed` in an order other than reading order.
    void playRound(std::uint32_t seed)
    {
        startGame(seed);
        for (int k = 0; k < 16; ++k) {
            const int cellIndex = (k * 7 + 3) % 16;
            window->card_11Click(cell(cellIndex / 4 + 1, cellIndex % 4 + 1));
        }
    }
    QString frameMark(ReviewWindow &w, int cell) const
    {
        return w.findChild<QLabel *>(QStringLiteral("frame_review%1").arg(cell))->property("mark").toString();
    }
    QString text(ReviewWindow &w, const char *name) const
    {
        return w.findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
};

TEST_F(ReviewWindowTest, TheRoundPlayedIsReviewedStepByStep)
{
    QAction *item = action(QStringLiteral("ReviewRound1"));
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(control(QStringLiteral("button_review"))->isVisibleTo(window.get()));

    playRound(2024);
    ASSERT_TRUE(window->lastRound().has_value());
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(control(QStringLiteral("button_review"))->isVisibleTo(window.get()));
    // The round named is the one on the board: its k-th card lies where
    // the k-th placement put it, and its starter is the one turned.
    const review::Round round = *window->lastRound();
    const auto deal = review::dealOf(round);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(cell(round.cells[k] / 4 + 1, round.cells[k] % 4 + 1)->tag(), deal[k]) << k;
    EXPECT_EQ(window->round().starter(), deal[16]);

    QTest::mouseClick(control(QStringLiteral("button_review")), Qt::LeftButton);
    ReviewWindow *review = window->reviewWindow();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(review->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(review->result().has_value(), 60000);
    EXPECT_EQ(review::formatRound(review->round()), review::formatRound(round));

    struct Step {
        Qt::Key key;
        int step;
    };
    const Step steps[] = {{Qt::Key_Right, 1}, {Qt::Key_Right, 2}, {Qt::Key_Left, 1}, {Qt::Key_Left, 0},
                          {Qt::Key_Left, 0}};
    for (const Step &s : steps) {
        QTest::keyClick(review, s.key);
        ASSERT_EQ(review->step(), s.step);
        const review::Placement &p = review->result()->placements[s.step];
        EXPECT_TRUE(text(*review, "label_reviewstep").startsWith(QStringLiteral("Card %1 of 16").arg(s.step + 1)));
        EXPECT_NE(text(*review, "label_reviewjudgement").indexOf(QString::fromLatin1(review::markName(p.mark))), -1);
        // The board as it stood: the earlier cards where they went, the
        // player's and the best cell marked.
        for (int c = 0; c < 16; ++c) {
            const int code = review->findChild<ImageControl *>(QStringLiteral("card_review%1").arg(c))->tag();
            int expected = 0;
            for (int k = 0; k < s.step; ++k)
                if (round.cells[k] == c)
                    expected = deal[k];
            EXPECT_EQ(code, expected) << "step " << s.step << " cell " << c;
            const QString mark = frameMark(*review, c);
            const QString want = c == p.cell && c == p.bestCell ? QStringLiteral("both")
                                 : c == p.cell                  ? QStringLiteral("player")
                                 : c == p.bestCell              ? QStringLiteral("best")
                                                                : QString();
            EXPECT_EQ(mark, want) << "step " << s.step << " cell " << c;
        }
    }
    EXPECT_FALSE(review->findChild<TSelButton *>(QStringLiteral("button_reviewprevious"))->isEnabled());
    QTest::mouseClick(review->findChild<TSelButton *>(QStringLiteral("button_reviewcopy")), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(review::formatRound(round)));
    EXPECT_NE(text(*review, "label_reviewsummary")
                  .indexOf(QStringLiteral("made %1").arg(review->result()->advisorScore)),
              -1);

    // The next round hides the button; the menu still reviews the last
    // round scored.
    tickUntilOutcome();
    window->button_start2Click();
    EXPECT_FALSE(control(QStringLiteral("button_review"))->isVisibleTo(window.get()));
    EXPECT_TRUE(item->isEnabled());
}

TEST_F(ReviewWindowTest, ClosedWhileWorkingItStopsAndCanStartAgain)
{
    playRound(77);
    window->ReviewRound1Click();
    ReviewWindow *review = window->reviewWindow();
    ASSERT_NE(review, nullptr);
    review->close();
    EXPECT_FALSE(review->isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(review->result().has_value());
    window->ReviewRound1Click();
    QTRY_VERIFY_WITH_TIMEOUT(review->result().has_value(), 60000);
    EXPECT_EQ(review->step(), 0);
}

} // namespace
