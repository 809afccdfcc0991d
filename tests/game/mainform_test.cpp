// The main window as a player first sees it, its menu, placement of cards
// and the window's size floor.
#include "gamefixture.h"

#include "cardimagelist.h"

#include <QMenuBar>
#include <QTest>

namespace {

TEST_F(GameTest, StartsWithAnEmptyBoardAndTheNamePanel)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Pegsquare"));
    EXPECT_EQ(window->programname(), QStringLiteral("pegsquare"));
    EXPECT_FALSE(window->gameInProgress());
    for (int row = 1; row <= 5; ++row)
        for (int column = 1; column <= 5; ++column) {
            EXPECT_EQ(cell(row, column)->tag(), 0) << row << column;
            EXPECT_FALSE(cell(row, column)->hasPicture()) << row << column;
        }
    for (int line : {1, 2, 3, 4, 6, 7, 8, 9}) {
        TagLabel *l = label(QStringLiteral("label_linescore%1").arg(line));
        EXPECT_EQ(l->text(), QString()) << line;
        EXPECT_EQ(l->hint(), QString::number(line));
    }
    EXPECT_EQ(window->findChild<QWidget *>(QStringLiteral("label_linescore5")), nullptr);
    EXPECT_EQ(caption(QStringLiteral("label_score")), QStringLiteral("0"));
    EXPECT_EQ(caption(QStringLiteral("label_name")), QStringLiteral("Welcome to Pegsquare"));
    EXPECT_EQ(caption(QStringLiteral("label_cardtype")), QStringLiteral("Next Card"));

    // The next-card box shows the card back before the first deal.
    auto *next = control<ImageControl>(QStringLiteral("image_nextcard"));
    ASSERT_TRUE(next->hasPicture());
    const QImage shown = next->picture().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage back = window->imagelist_cards().image(0).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown.scaled(back.size()), back);

    EXPECT_EQ(sound.played, std::vector<std::string>{"entered"});
    EXPECT_EQ(control(QStringLiteral("edit_name"))->property("text").toString(), QStringLiteral("Guest"));
    EXPECT_EQ(control(QStringLiteral("edit_aname"))->property("text").toString(), QStringLiteral("Guest"));
}

TEST_F(GameTest, PanelsStartHiddenExceptNameEntry)
{
    window->show();
    struct Row {
        const char *name;
        bool visible;
    };
    const Row rows[] = {{"panel_name", true},      {"panel_over", false},   {"panel_wait", false},
                        {"panel_continue", false}, {"panel_linescore", false}, {"panel_update", false},
                        {"button_start", true},    {"label_breakdown", true}, {"panel_board", true},
                        {"panel_board1", true}};
    for (const Row &row : rows)
        EXPECT_EQ(control(QString::fromLatin1(row.name))->isVisible(), row.visible) << row.name;
}

TEST_F(GameTest, ControlsSitWhereTheBoardExpectsThem)
{
    struct Row {
        const char *name;
        QRect geometry;
    };
    const Row rows[] = {
        {"panel_board", {0, 0, 696, 525}},      {"panel_board1", {7, 33, 683, 472}},
        {"card_11", {104, 8, 60, 82}},          {"card_44", {296, 272, 60, 82}},
        {"card_23", {232, 96, 60, 82}},         {"Shape1", {104, 8, 60, 82}},
        {"Shape20", {296, 272, 60, 82}},        {"card_15", {360, 8, 60, 82}},
        {"card_45", {360, 272, 60, 82}},        {"card_51", {104, 359, 60, 82}},
        {"card_54", {296, 358, 60, 82}},        {"card_55", {360, 358, 60, 82}},
        {"image_nextcard", {16, 38, 60, 82}},   {"label_cardtype", {16, 23, 57, 13}},
        {"label_linescore3", {432, 216, 64, 24}}, {"label_linescore8", {230, 443, 64, 24}},
        {"label_score", {426, 440, 72, 24}},    {"label_total", {8, 440, 82, 24}},
        {"label_rounds", {8, 400, 82, 24}},     {"label_breakdown", {8, 169, 81, 88}},
        {"button_start", {515, 376, 126, 40}},  {"Image2", {520, 16, 110, 329}},
        {"image_logo", {204, 506, 287, 18}},    {"panel_name", {98, 38, 263, 137}},
        {"panel_over", {483, 19, 191, 311}},    {"panel_wait", {3, 160, 185, 46}},
        {"panel_continue", {482, 19, 192, 142}}, {"panel_linescore", {96, 108, 332, 221}},
        {"panel_update", {173, 136, 329, 161}}, {"button_sendscore", {19, 163, 160, 40}},
        {"card_ls3", {136, 26, 60, 82}},        {"label_line6", {218, 140, 87, 20}},
        {"Image1", {200, 175, 126, 40}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(control(QString::fromLatin1(row.name))->geometry(), row.geometry) << row.name;
}

TEST_F(GameTest, FontsAndColoursOfTheBoardLabels)
{
    struct Row {
        const char *name;
        int pixels;
        bool bold;
    };
    const Row rows[] = {{"label_name", 13, true},       {"label_linescore1", 19, false},
                        {"label_linescore9", 19, false}, {"label_score", 21, true},
                        {"label_total", 21, true},       {"label_rounds", 21, true},
                        {"label_cardtype", 11, true}};
    for (const Row &row : rows) {
        TagLabel *l = label(QString::fromLatin1(row.name));
        EXPECT_EQ(l->font().pixelSize(), row.pixels) << row.name;
        EXPECT_EQ(l->font().bold(), row.bold) << row.name;
        EXPECT_EQ(l->textColor(), QColor(128, 0, 0)) << row.name;
    }
}

TEST_F(GameTest, MenuCaptionsShortcutsAndChecks)
{
    struct Row {
        const char *name;
        const char *caption;
        QKeySequence shortcut;
        bool checkable;
    };
    const Row rows[] = {
        {"StartGame1", "Start Game", QKeySequence(Qt::CTRL | Qt::Key_S), false},
        {"Exit1", "Exit", {}, false},
        {"PlaySounds1", "Play Sounds", {}, true},
        {"ResetScreenLocation1", "Reset Screen Location", {}, false},
        {"ChangeName1", "Change  Name", {}, false},
        {"updatecheck", "Automatically Check for Updates", {}, true},
        {"TallyList1", "Tally List", {}, false},
        {"ViewHighScoreList1", "View High Score List", {}, false},
        {"Help2", "Help", QKeySequence(Qt::Key_F1), false},
        {"CheckforUpdateNow1", "Check for Update Now", {}, false},
        {"About1", "About", {}, false},
        {"Pegclub1", "Check out Pegclub", {}, false},
    };
    for (const Row &row : rows) {
        QAction *a = action(QString::fromLatin1(row.name));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), QString::fromLatin1(row.caption)) << row.name;
        EXPECT_EQ(a->shortcut(), row.shortcut) << row.name;
        EXPECT_EQ(a->isCheckable(), row.checkable) << row.name;
        if (row.checkable) {
            EXPECT_TRUE(a->isChecked()) << row.name;
        }
    }
    // Menu bar order: File, Options, View, Help, a separator, then the
    // Pegclub item on the bar itself.
    QStringList bar;
    for (QAction *a : window->menuBar()->actions())
        bar << (a->isSeparator() ? QStringLiteral("|") : a->text());
    EXPECT_EQ(bar, (QStringList{"File", "Options", "View", "Help", "|", "Check out Pegclub"}));
    // Help menu: Help, separator, Check for Update Now, separator, About.
    QStringList help;
    for (QAction *a : control<QMenu>(QStringLiteral("Help1"))->actions())
        help << (a->isSeparator() ? QStringLiteral("|") : a->text());
    EXPECT_EQ(help, (QStringList{"Help", "|", "Check for Update Now", "|", "About"}));
}

TEST_F(GameTest, ClicksBeforeAnyGameDoNothing)
{
    sound.played.clear();
    QTest::mouseClick(cell(2, 3), Qt::LeftButton);
    EXPECT_EQ(cell(2, 3)->tag(), 0);
    EXPECT_FALSE(cell(2, 3)->hasPicture());
    EXPECT_TRUE(sound.played.empty());
}

TEST_F(GameTest, RealClicksPlaceCardsAndOccupiedCellsAreRefused)
{
    window->show();
    startGame(12345);
    // Deck for seed 12345 begins 42, 8, 19 (worked out from the generator).
    EXPECT_EQ(control<ImageControl>(QStringLiteral("image_nextcard"))->tag(), 42);
    sound.played.clear();
    QTest::mouseClick(cell(1, 1), Qt::LeftButton);
    EXPECT_EQ(cell(1, 1)->tag(), 42);
    EXPECT_TRUE(cell(1, 1)->hasPicture());
    EXPECT_EQ(control<ImageControl>(QStringLiteral("image_nextcard"))->tag(), 8);
    EXPECT_EQ(window->deck().dealPosition(), 2);

    QTest::mouseClick(cell(1, 1), Qt::LeftButton);
    QTest::mouseClick(cell(1, 1), Qt::LeftButton);
    EXPECT_EQ(cell(1, 1)->tag(), 42);
    EXPECT_EQ(window->deck().dealPosition(), 2);
    EXPECT_EQ(control<ImageControl>(QStringLiteral("image_nextcard"))->tag(), 8);
    EXPECT_EQ(sound.played, (std::vector<std::string>{"cardclick", "invalid", "invalid"}));

    // Starter cells and the breakdown's cards take no placement.
    QTest::mouseClick(cell(1, 5), Qt::LeftButton);
    QTest::mouseClick(control<ImageControl>(QStringLiteral("card_ls1")), Qt::LeftButton);
    EXPECT_EQ(cell(1, 5)->tag(), 0);
    EXPECT_EQ(window->deck().dealPosition(), 2);
}

TEST_F(GameTest, ShowCardKeepsTagAndPictureTogether)
{
    startGame(0);
    fillBoard();
    // Every placed card's picture is the image of the code in its tag.
    for (int row = 1; row <= 4; ++row)
        for (int column = 1; column <= 4; ++column) {
            ImageControl *c = cell(row, column);
            const QImage expected = window->imagelist_cards().image(c->tag()).convertToFormat(QImage::Format_ARGB32);
            const QImage shown = c->picture().toImage().convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(shown.scaled(expected.size()), expected) << row << column;
        }
}

TEST_F(GameTest, ClientAreaNeverShrinksBelowTheBoard)
{
    window->show();
    QWidget *client = window->centralWidget();
    struct Row {
        QSize request;
        bool staysLarger;
    };
    const Row rows[] = {{{300, 200}, false}, {{700, 900}, false}, {{900, 300}, false}, {{900, 700}, true}};
    for (const Row &row : rows) {
        window->resize(row.request);
        QApplication::processEvents();
        EXPECT_GE(client->width(), Tmain::kMinClientWidth) << row.request.width();
        EXPECT_GE(client->height(), Tmain::kMinClientHeight) << row.request.height();
        if (row.staysLarger) {
            EXPECT_EQ(window->size(), row.request);
        }
    }
}

TEST_F(GameTest, BoardScalesAsAWholeToFitTheClientArea)
{
    window->show();
    startGame(3);
    window->card_11Click(cell(1, 1));
    QWidget *client = window->centralWidget();
    QWidget *board = control(QStringLiteral("panel_board"));
    // Every control on the board as the window lays it out at factor 1.
    struct Base {
        QWidget *widget;
        QRect geometry;
        int pixels;
    };
    std::vector<Base> base{{board, board->geometry(), board->font().pixelSize()}};
    for (QWidget *w : board->findChildren<QWidget *>())
        base.push_back({w, w->geometry(), w->font().pixelSize()});
    ASSERT_GT(base.size(), 100u);
    ASSERT_EQ(window->boardScale(), 1.0);

    const QSize designed(Tmain::kMinClientWidth, Tmain::kMinClientHeight);
    for (const qreal factor : {1.5, 2.0, 1.0}) {
        window->resize(window->size() + (designed * factor - client->size()));
        QApplication::processEvents();
        ASSERT_EQ(client->size(), designed * factor) << factor;
        EXPECT_DOUBLE_EQ(window->boardScale(), factor);
        for (const Base &b : base) {
            const QRect now = b.widget->geometry();
            const QRectF want(QPointF(b.geometry.topLeft()) * factor, QSizeF(b.geometry.size()) * factor);
            const std::string name = b.widget->objectName().toStdString() + " at " + std::to_string(factor);
            // The board's own place is checked below; its size here.
            const QPointF from = b.widget == board ? QPointF(now.topLeft()) : want.topLeft();
            EXPECT_NEAR(now.x(), from.x(), 1.0) << name;
            EXPECT_NEAR(now.y(), from.y(), 1.0) << name;
            EXPECT_NEAR(now.x() + now.width(), from.x() + want.width(), 1.0) << name;
            EXPECT_NEAR(now.y() + now.height(), from.y() + want.height(), 1.0) << name;
            if (b.pixels > 0) {
                EXPECT_NEAR(b.widget->font().pixelSize(), b.pixels * factor, 1.0) << name;
            }
        }
        // Designed at factor 1 in the corner; larger, centred.
        const QPoint expectedCorner = factor == 1.0
                                          ? QPoint(0, 0)
                                          : QPoint((client->width() - board->width()) / 2,
                                                   (client->height() - board->height()) / 2);
        EXPECT_EQ(board->pos(), expectedCorner) << factor;
        // The card is drawn at the cell's own resolution, not enlarged.
        EXPECT_EQ(cell(1, 1)->picture().size(), cell(1, 1)->size() * cell(1, 1)->devicePixelRatioF()) << factor;
    }
    for (const Base &b : base)
        EXPECT_EQ(b.widget->geometry(), b.geometry) << b.widget->objectName().toStdString() << " back at 1";
}

TEST_F(GameTest, MenuItemsShowTheirWindowsWithoutHidingTheMainWindow)
{
    QWidget help, about, tallyWindow, advert, scores;
    window->setWindows({&about, &help, &scores, &tallyWindow, &advert});
    window->show();
    struct Row {
        const char *action;
        QWidget *target;
    };
    const Row rows[] = {{"Help2", &help}, {"About1", &about}, {"TallyList1", &tallyWindow}, {"Pegclub1", &advert}};
    for (const Row &row : rows) {
        action(QString::fromLatin1(row.action))->trigger();
        EXPECT_TRUE(row.target->isVisible()) << row.action;
    }
    EXPECT_TRUE(window->isVisible());
}

TEST_F(GameTest, NamePanelDoneCancelAndReopen)
{
    auto *aname = control<QLineEdit>(QStringLiteral("edit_aname"));
    auto *name = control<QLineEdit>(QStringLiteral("edit_name"));
    window->show();
    // Typing stops at ten characters in both boxes.
    for (QLineEdit *edit : {aname, name}) {
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("Abcdefghijkl"));
        EXPECT_EQ(edit->text(), QStringLiteral("Abcdefghij")) << edit->objectName().toStdString();
    }
    aname->setText(QStringLiteral("Guest"));
    name->setText(QStringLiteral("Guest"));

    aname->setText(QStringLiteral("Ann"));
    window->button_namecancelClick();
    EXPECT_EQ(name->text(), QStringLiteral("Guest"));
    EXPECT_FALSE(control(QStringLiteral("panel_name"))->isVisible());

    // Change Name offers the name in use, not what the box last held.
    action(QStringLiteral("ChangeName1"))->trigger();
    EXPECT_TRUE(control(QStringLiteral("panel_name"))->isVisible());
    EXPECT_EQ(aname->text(), QStringLiteral("Guest"));
}


TEST_F(GameTest, PlaySoundsSwitchSilencesEveryEvent)
{
    action(QStringLiteral("PlaySounds1"))->trigger();
    EXPECT_FALSE(action(QStringLiteral("PlaySounds1"))->isChecked());
    sound.played.clear();
    startGame(3);
    fillBoard();
    window->card_11Click(cell(1, 1));
    EXPECT_TRUE(sound.played.empty());
    action(QStringLiteral("PlaySounds1"))->trigger();
    EXPECT_TRUE(action(QStringLiteral("PlaySounds1"))->isChecked());
    window->card_11Click(cell(1, 1));
    EXPECT_EQ(sound.played, std::vector<std::string>{"invalid"});
}

} // namespace
