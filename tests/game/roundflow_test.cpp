// Whole rounds and games driven through the real handlers. Seeds and the
// line values they give were worked out with a separate model of the deal
// and the scoring rules.
#include "gamefixture.h"

#include "cardimagelist.h"
#include "cribbagetrack.h"
#include "pegboard.h"

#include <functional>

namespace {

using Breakdown = std::array<int, 5>;

struct ExpectedRound {
    std::uint32_t seed;
    int starter;
    std::map<int, Breakdown> lines;
};

// Seed 50: the first round totals exactly 55, starter 5 of spades.
const ExpectedRound kFiftyFive{50, 44,
                               {{1, {0, 0, 0, 0, 4}},
                                {2, {0, 2, 0, 0, 0}},
                                {3, {0, 6, 0, 0, 8}},
                                {4, {0, 0, 3, 0, 6}},
                                {6, {0, 2, 0, 0, 8}},
                                {7, {0, 2, 0, 0, 6}},
                                {8, {0, 4, 0, 0, 0}},
                                {9, {0, 0, 0, 0, 4}}}};
// Seed 152: 54, starter Jack of hearts (every line has its nob).
const ExpectedRound kFiftyFour{152, 37,
                               {{1, {1, 0, 3, 0, 6}},
                                {2, {1, 0, 0, 0, 4}},
                                {3, {1, 0, 4, 0, 0}},
                                {4, {1, 0, 0, 0, 4}},
                                {6, {1, 0, 0, 0, 2}},
                                {7, {1, 0, 0, 0, 4}},
                                {8, {1, 2, 0, 0, 8}},
                                {9, {1, 0, 3, 0, 6}}}};

int sum(const Breakdown &b)
{
    return b[0] + b[1] + b[2] + b[3] + b[4];
}

class RoundTest : public GameTest,
                  public ::testing::WithParamInterface<const ExpectedRound *> {};

TEST_P(RoundTest, ScoresEveryLineAndFillsTheStarterCells)
{
    const ExpectedRound &round = *GetParam();
    startGame(round.seed);
    fillBoard();

    EXPECT_EQ(caption(QStringLiteral("label_cardtype")), QStringLiteral("STARTER"));
    EXPECT_EQ(control<ImageControl>(QStringLiteral("image_nextcard"))->tag(), round.starter);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(cell(n, 5)->tag(), round.starter) << n;
        EXPECT_EQ(cell(5, n)->tag(), round.starter) << n;
    }
    int hands = 0;
    for (const auto &[line, expected] : round.lines) {
        SCOPED_TRACE(line);
        const scoring::LineBreakdown &b = window->round().breakdown(line);
        EXPECT_EQ(b.points, expected);
        TagLabel *l = label(QStringLiteral("label_linescore%1").arg(line));
        EXPECT_EQ(l->tag(), sum(expected));
        EXPECT_EQ(l->text(), QString::number(sum(expected)));
        hands += sum(expected);
    }
    EXPECT_EQ(caption(QStringLiteral("label_score")), QString::number(hands));
    EXPECT_EQ(caption(QStringLiteral("label_total")), QString::number(hands));
    EXPECT_TRUE(control(QStringLiteral("label_breakdown"))->isVisibleTo(window.get()));
    auto *timer = control<QTimer>(QStringLiteral("Timer2"));
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    // The sixteenth placement's click sound is followed at once by the
    // round's own.
    ASSERT_GE(sound.played.size(), 2u);
    EXPECT_EQ(sound.played[sound.played.size() - 2], "cardclick");
    EXPECT_EQ(sound.played.back(), "roundover");
}

INSTANTIATE_TEST_SUITE_P(Seeds, RoundTest, ::testing::Values(&kFiftyFive, &kFiftyFour),
                         [](const ::testing::TestParamInfo<const ExpectedRound *> &row) {
                             return "seed" + std::to_string(row.param->seed);
                         });

TEST_F(GameTest, FiftyFiveContinuesOnTheSixthTick)
{
    startGame(kFiftyFive.seed);
    fillBoard();
    for (int tick = 1; tick <= 5; ++tick) {
        window->Timer2Timer();
        EXPECT_FALSE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get())) << tick;
    }
    window->Timer2Timer();
    EXPECT_TRUE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get()));
    EXPECT_FALSE(control<QTimer>(QStringLiteral("Timer2"))->isActive());
    EXPECT_FALSE(control(QStringLiteral("panel_over"))->isVisibleTo(window.get()));
    EXPECT_FALSE(control(QStringLiteral("button_start"))->isVisibleTo(window.get()));
    EXPECT_TRUE(window->gameInProgress());
    EXPECT_EQ(tally.increases, (std::vector<int>{1, 2}));
    EXPECT_TRUE(tally.finished.empty());
    EXPECT_EQ(sound.played.back(), "continue");
}

TEST_F(GameTest, FiftyFourEndsTheGame)
{
    startGame(kFiftyFour.seed);
    fillBoard();
    tickUntilOutcome();
    EXPECT_TRUE(control(QStringLiteral("panel_over"))->isVisibleTo(window.get()));
    EXPECT_TRUE(control(QStringLiteral("button_start"))->isVisibleTo(window.get()));
    EXPECT_TRUE(control(QStringLiteral("button_sendscore"))->isVisibleTo(window.get()));
    EXPECT_FALSE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get()));
    EXPECT_EQ(caption(QStringLiteral("label_score1")), QStringLiteral("Your Score: 54"));
    EXPECT_FALSE(window->gameInProgress());
    EXPECT_EQ(tally.increases, std::vector<int>{1});
    ASSERT_EQ(tally.finished.size(), 1u);
    EXPECT_EQ(tally.finished[0], std::make_pair(54, QStringLiteral("Guest")));
    EXPECT_EQ(sound.played.back(), "gameover");

    // The board stays; every cell now refuses a card.
    sound.played.clear();
    window->card_11Click(cell(3, 3));
    EXPECT_EQ(sound.played, std::vector<std::string>{"invalid"});

    // A name typed afterwards does not change the recorded entry.
    control<QLineEdit>(QStringLiteral("edit_name"))->setText(QStringLiteral("Later"));
    EXPECT_EQ(tally.finished[0].second, QStringLiteral("Guest"));

    window->button_cancelClick();
    EXPECT_FALSE(control(QStringLiteral("panel_over"))->isVisibleTo(window.get()));
}

TEST_F(GameTest, RunningTotalIncludesTheLosingRound)
{
    // Seed 3 deals a round of 65 and then one of 45.
    startGame(3);
    fillBoard();
    EXPECT_EQ(label(QStringLiteral("label_score"))->tag(), 65);
    tickUntilOutcome();
    ASSERT_TRUE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get()));
    window->button_start2Click();
    EXPECT_EQ(caption(QStringLiteral("label_rounds")), QStringLiteral("2"));
    EXPECT_EQ(caption(QStringLiteral("label_total")), QStringLiteral("65"));
    EXPECT_EQ(caption(QStringLiteral("label_score")), QStringLiteral("0"));
    EXPECT_FALSE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get()));
    fillBoard();
    EXPECT_EQ(label(QStringLiteral("label_score"))->tag(), 45);
    EXPECT_EQ(caption(QStringLiteral("label_total")), QStringLiteral("110"));
    tickUntilOutcome();
    EXPECT_EQ(caption(QStringLiteral("label_score1")), QStringLiteral("Your Score: 110"));
    EXPECT_EQ(tally.increases, (std::vector<int>{1, 2, 1}));
    ASSERT_EQ(tally.finished.size(), 1u);
    EXPECT_EQ(tally.finished[0].first, 110);
}

TEST_F(GameTest, PegsFollowTheRunningTotalAndGoBackForANewGame)
{
    // Seed 3 deals a round of 65 and then one of 45; each step of the game
    // and where the front and back pegs stand after it.
    struct Step {
        const char *name;
        std::function<void()> act;
        int front;
        int back;
    };
    const Step steps[] = {
        {"new game", [&] { startGame(3); }, 0, 0},
        {"first round scored", [&] { fillBoard(); }, 65, 0},
        {"continue keeps the pegs", [&] { tickUntilOutcome(); window->button_start2Click(); }, 65, 0},
        {"second round scored", [&] { fillBoard(); }, 110, 65},
        {"game over keeps the pegs", [&] { tickUntilOutcome(); }, 110, 65},
        {"another game starts them again", [&] { startGame(3); }, 0, 0},
    };
    const PegBoard &pegs = window->pegs();
    EXPECT_EQ(pegs.objectName(), QStringLiteral("Image2"));
    EXPECT_EQ(pegs.geometry(), QRect(520, 16, 110, 329));
    const QSizeF picture(110, 329);
    for (const Step &step : steps) {
        step.act();
        EXPECT_EQ(pegs.frontTotal(), step.front) << step.name;
        EXPECT_EQ(pegs.backTotal(), step.back) << step.name;
        EXPECT_EQ(pegs.frontPegCentre(),
                  cribbagetrack::pegCentre(picture, step.front, cribbagetrack::Peg::Front)) << step.name;
        EXPECT_EQ(pegs.backPegCentre(), cribbagetrack::pegCentre(picture, step.back, cribbagetrack::Peg::Back))
            << step.name;
    }
}

TEST_F(GameTest, StartGameDuringThePauseDropsTheOutcome)
{
    startGame(kFiftyFour.seed);
    fillBoard();
    window->Timer2Timer();
    window->Timer2Timer();
    action(QStringLiteral("StartGame1"))->trigger();
    EXPECT_FALSE(control<QTimer>(QStringLiteral("Timer2"))->isActive());
    EXPECT_FALSE(control(QStringLiteral("panel_over"))->isVisibleTo(window.get()));
    EXPECT_TRUE(tally.finished.empty());
    EXPECT_EQ(tally.increases, (std::vector<int>{1, 1}));
    EXPECT_EQ(caption(QStringLiteral("label_total")), QStringLiteral("0"));
    EXPECT_EQ(caption(QStringLiteral("label_cardtype")), QStringLiteral("Next Card"));
    EXPECT_EQ(window->deck().dealPosition(), 1);
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(cell(n, 5)->tag(), 0);
}

TEST_F(GameTest, StartGameWhileContinueIsOfferedAbandonsTheGame)
{
    startGame(kFiftyFive.seed);
    fillBoard();
    tickUntilOutcome();
    window->StartGame1Click();
    EXPECT_FALSE(control(QStringLiteral("panel_continue"))->isVisibleTo(window.get()));
    EXPECT_EQ(caption(QStringLiteral("label_total")), QStringLiteral("0"));
    EXPECT_EQ(caption(QStringLiteral("label_rounds")), QStringLiteral("1"));
    EXPECT_TRUE(tally.finished.empty());
}

TEST_F(GameTest, StartGameFromGameOverHidesThePanels)
{
    startGame(kFiftyFour.seed);
    fillBoard();
    tickUntilOutcome();
    window->StartGame1Click();
    for (const char *name : {"panel_over", "panel_name", "button_start", "label_breakdown", "panel_linescore"})
        EXPECT_FALSE(control(QString::fromLatin1(name))->isVisibleTo(window.get())) << name;
    EXPECT_TRUE(window->gameInProgress());
    EXPECT_EQ(caption(QStringLiteral("label_name")), QStringLiteral("Good Luck Guest"));
}

// The breakdown view.

TEST_F(GameTest, BreakdownOfAColumnListsItsCellsAndAddsUp)
{
    startGame(kFiftyFive.seed);
    fillBoard();
    TagLabel *column2 = label(QStringLiteral("label_linescore7"));
    window->label_linescore1Click(column2);
    EXPECT_TRUE(control(QStringLiteral("panel_linescore"))->isVisibleTo(window.get()));
    EXPECT_EQ(caption(QStringLiteral("label_ls1")), QStringLiteral("Line Score:7"));
    EXPECT_EQ(caption(QStringLiteral("label_ls2")), QStringLiteral("Line Score:7"));
    const ImageControl *sources[] = {cell(1, 2), cell(2, 2), cell(3, 2), cell(4, 2), cell(5, 2)};
    for (int k = 1; k <= 5; ++k) {
        const QImage shown = control<ImageControl>(QStringLiteral("card_ls%1").arg(k))->picture().toImage();
        EXPECT_EQ(shown, sources[k - 1]->picture().toImage()) << k;
    }
    int total = 0;
    for (int k = 1; k <= 5; ++k)
        total += caption(QStringLiteral("label_line%1").arg(k)).toInt();
    EXPECT_EQ(QString::number(total), caption(QStringLiteral("label_line6")));
    EXPECT_EQ(caption(QStringLiteral("label_line6")), column2->text());
    EXPECT_EQ(caption(QStringLiteral("label_line3")), QStringLiteral("0"));
    EXPECT_EQ(caption(QStringLiteral("label_line2")), QStringLiteral("2"));

    // Another label refills the open panel; Close hides it.
    window->label_linescore1Click(label(QStringLiteral("label_linescore3")));
    EXPECT_EQ(caption(QStringLiteral("label_ls1")), QStringLiteral("Line Score:3"));
    EXPECT_EQ(caption(QStringLiteral("label_line2")), QStringLiteral("6"));
    EXPECT_EQ(caption(QStringLiteral("label_line5")), QStringLiteral("8"));
    window->Image1Click();
    EXPECT_FALSE(control(QStringLiteral("panel_linescore"))->isVisibleTo(window.get()));
}

TEST_F(GameTest, BreakdownDuringDealingShowsBacksAndZeros)
{
    startGame(kFiftyFive.seed);
    window->card_11Click(cell(2, 1));
    window->card_11Click(cell(2, 3));
    window->label_linescore1Click(label(QStringLiteral("label_linescore2")));
    const QImage back = window->imagelist_cards().image(0).convertToFormat(QImage::Format_ARGB32);
    const int expectedCodes[] = {28, 0, 6, 0, 0};  // the deck for seed 50 begins 28, 6
    for (int k = 1; k <= 5; ++k) {
        const QImage shown =
            control<ImageControl>(QStringLiteral("card_ls%1").arg(k))->picture().toImage().convertToFormat(
                QImage::Format_ARGB32);
        const QImage expected =
            window->imagelist_cards().image(expectedCodes[k - 1]).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown.scaled(expected.size()), expected) << k;
        if (expectedCodes[k - 1] == 0) {
            EXPECT_EQ(shown.scaled(back.size()), back) << k;
        }
    }
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(caption(QStringLiteral("label_line%1").arg(k)), QStringLiteral("0"));
    EXPECT_EQ(caption(QStringLiteral("label_line6")), QString());
}

TEST_F(GameTest, BreakdownAfterGameOverKeepsTheLastRoundUntilTheNextStart)
{
    startGame(kFiftyFour.seed);
    fillBoard();
    tickUntilOutcome();
    window->label_linescore1Click(label(QStringLiteral("label_linescore8")));
    EXPECT_EQ(caption(QStringLiteral("label_line1")), QStringLiteral("1"));
    EXPECT_EQ(caption(QStringLiteral("label_line5")), QStringLiteral("8"));
    window->button_startClick();
    EXPECT_FALSE(control(QStringLiteral("panel_linescore"))->isVisibleTo(window.get()));
    window->label_linescore1Click(label(QStringLiteral("label_linescore8")));
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(caption(QStringLiteral("label_line%1").arg(k)), QStringLiteral("0"));
}

// One name everywhere: the heading, the tally, the posting and the name
// box all show the same, and "Guest" stands where no name was given.
TEST_F(GameTest, OneNameWhereverItWasTyped)
{
    const struct {
        const char *name;
        const char *panelName;   // typed into the name panel, then Done
        const char *overName;    // typed into the game-over box after the game (none: left alone)
        const char *expected;    // heading, tally entry, posted name and name box
    } rows[] = {
        {"a name given at the panel", "Ann", nullptr, "Ann"},
        {"an empty name", "", nullptr, "Guest"},
        {"a name of blanks", "   ", nullptr, "Guest"},
        {"a name typed at game over", "Ann", "Bob", "Bob"},
        {"a name emptied at game over", "Ann", "", "Guest"},
    };
    auto *aname = control<QLineEdit>(QStringLiteral("edit_aname"));
    auto *name = control<QLineEdit>(QStringLiteral("edit_name"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        tally.finished.clear();
        action(QStringLiteral("ChangeName1"))->trigger();
        aname->setText(QString::fromLatin1(row.panelName));
        window->button_namedoneClick();
        startGame(kFiftyFour.seed);
        fillBoard();
        tickUntilOutcome();
        ASSERT_EQ(tally.finished.size(), 1u);
        if (row.overName)
            name->setText(QString::fromLatin1(row.overName));
        window->button_sendscoreClick();
        const QString expected = QString::fromLatin1(row.expected);
        EXPECT_EQ(name->text(), expected);
        EXPECT_EQ(tally.finished[0].second, expected);
        action(QStringLiteral("ChangeName1"))->trigger();
        EXPECT_EQ(aname->text(), expected);
        window->button_namecancelClick();
        startGame(1);
        EXPECT_EQ(caption(QStringLiteral("label_name")), QStringLiteral("Good Luck ") + expected);
    }
}

} // namespace
