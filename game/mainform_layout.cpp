// Builds the main window's controls: the menu, the board panels, the
// 25 card cells with the hatched shapes under the grid, the labels and
// the hidden panels. Positions are those of the designed window, the
// board's factor 1; FormResize scales them all alike.
#include "mainform.h"

#include "colors.h"
#include "flatpanel.h"
#include "fonts.h"
#include "gameresources.h"
#include "lbbackground.h"
#include "hatchshape.h"
#include "hintmark.h"
#include "imagecontrol.h"
#include "nameedit.h"
#include "pegboard.h"
#include "picturebutton.h"
#include "scaledlayout.h"
#include "selbutton.h"
#include "taglabel.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>

namespace {

constexpr int kCardWidth = CardImageList::kWidth;
constexpr int kCardHeight = CardImageList::kHeight;
constexpr int kGridLeft = 104;
constexpr int kGridTop = 8;
constexpr int kColumnStep = 64;
constexpr int kRowStep = 88;
constexpr int kStarterColumnLeft = 360;
constexpr int kStarterRowTop = 358;
constexpr int kDefaultFontPixels = 11;

TagLabel *label(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry,
                int pixels = kDefaultFontPixels, bool bold = false, const QColor &color = pegcolors::maroon(),
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    auto *l = new TagLabel(parent, name, caption, geometry);
    l->setPixelFont(pixels, bold);
    l->setTextColor(color);
    l->setAlignment(alignment);
    return l;
}

// A heading: the same caption twice, grey under maroon, one pixel apart so
// the grey one reads as a shadow.
void heading(QWidget *parent, const QString &greyName, const QString &maroonName, const QString &caption,
             const QRect &greyGeometry, const QPoint &maroonOffset, int pixels, bool bold,
             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, bool wrap = false)
{
    auto *grey = label(parent, greyName, caption, greyGeometry, pixels, bold, pegcolors::shadowGrey(), alignment);
    auto *top = label(parent, maroonName, caption, greyGeometry.translated(maroonOffset), pixels, bold,
                      pegcolors::maroon(), alignment);
    grey->setWordWrap(wrap);
    top->setWordWrap(wrap);
}

TFlatPanel *panel(QWidget *parent, const QString &name, const QRect &geometry, const QColor &border)
{
    auto *p = new TFlatPanel(parent, name, geometry);
    p->setBorderColors(border);
    p->setColor(pegcolors::background());
    p->hide();
    return p;
}

QLineEdit *nameEdit(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *edit = new NameEdit(parent, name, geometry);
    QFont f = edit->font();
    f.setPixelSize(13);
    edit->setFont(f);
    return edit;
}

} // namespace

void Tmain::buildClientArea()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setMinimumSize(kMinClientWidth, kMinClientHeight);
    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, pegcolors::background());
    m_client->setPalette(pal);
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    // The tile behind the client area; every other window copies it.
    m_background = new TLbBackground(this);
    m_background->setObjectName(QStringLiteral("LbBackground1"));
    m_background->setImage(gameresources::picture(gameresources::Picture::Tile, devicePixelRatioF()));
    m_background->setEnabled(true);

    auto *board = new TFlatPanel(m_client, QStringLiteral("panel_board"), QRect(0, 0, 696, 525));
    m_board = board;
    board->setTransparent(true);
    board->setBorderColors(pegcolors::background());

    label(board, QStringLiteral("label_name"), QStringLiteral("Welcome to Pegsquare"), QRect(6, 14, 400, 16), 13,
          true);
    auto *logo = new ImageControl(board, QStringLiteral("image_logo"), QRect(204, 506, 287, 18));
    logo->setPictureSource(
        [](qreal ratio) { return gameresources::picture(gameresources::Picture::MakerStrip, ratio); });
    logo->setCursor(Qt::PointingHandCursor);
    connect(logo, &ImageControl::clicked, this, [this] { image_logoClick(); });

    auto *board1 = new TFlatPanel(board, QStringLiteral("panel_board1"), QRect(7, 33, 683, 472));
    board1->setTransparent(true);
    board1->setBorderColors(pegcolors::maroon());

    buildPlayingArea(board1);
    buildPanels(board1);
    // Everything on the board as designed is factor 1 of its scaling.
    m_scaledLayout = std::make_unique<ScaledLayout>(board);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(1000);
    connect(m_timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
}

void Tmain::buildPlayingArea(QWidget *board)
{
    // The hatched shapes come first so the cells lie on top of them.
    static const char *const kShapeNames[4][4] = {{"Shape1", "Shape2", "Shape3", "Shape4"},
                                                  {"Shape7", "Shape8", "Shape9", "Shape10"},
                                                  {"Shape12", "Shape13", "Shape14", "Shape15"},
                                                  {"Shape17", "Shape18", "Shape19", "Shape20"}};
    for (int row = 1; row <= 4; ++row)
        for (int column = 1; column <= 4; ++column)
            new HatchShape(board, QString::fromLatin1(kShapeNames[row - 1][column - 1]),
                           QRect(kGridLeft + kColumnStep * (column - 1), kGridTop + kRowStep * (row - 1), kCardWidth,
                                 kCardHeight));

    for (int row = 1; row <= 4; ++row) {
        for (int column = 1; column <= 4; ++column) {
            auto *cellControl = new ImageControl(
                board, QStringLiteral("card_%1%2").arg(row).arg(column),
                QRect(kGridLeft + kColumnStep * (column - 1), kGridTop + kRowStep * (row - 1), kCardWidth, kCardHeight));
            connect(cellControl, &ImageControl::clicked, this, [this](ImageControl *c) { card_11Click(c); });
        }
    }
    // Starter cells: a fifth column at the end of each row, a fifth row
    // under each column (card_51 one pixel lower, as designed), and the
    // corner. They take no clicks.
    for (int row = 1; row <= 4; ++row)
        new ImageControl(board, QStringLiteral("card_%1%2").arg(row).arg(5),
                         QRect(kStarterColumnLeft, kGridTop + kRowStep * (row - 1), kCardWidth, kCardHeight));
    for (int column = 1; column <= 4; ++column)
        new ImageControl(board, QStringLiteral("card_5%1").arg(column),
                         QRect(kGridLeft + kColumnStep * (column - 1), kStarterRowTop + (column == 1 ? 1 : 0),
                               kCardWidth, kCardHeight));
    new ImageControl(board, QStringLiteral("card_55"), QRect(kStarterColumnLeft, kStarterRowTop, kCardWidth, kCardHeight));
    // Above the cells, below the panels made later.
    m_hintMark = new HintMark(board);

    m_nextcard = new ImageControl(board, QStringLiteral("image_nextcard"), QRect(16, 38, kCardWidth, kCardHeight));
    // Its designed picture is the card back, kept until the first deal.
    m_nextcard->drawPicture([this](QPainter &p) { m_cards.draw(p, QPoint(0, 0), 0); });
    label(board, QStringLiteral("label_cardtype"), QStringLiteral("Next Card"), QRect(16, 23, 57, 13),
          kDefaultFontPixels, true, pegcolors::maroon(), Qt::AlignHCenter | Qt::AlignTop);

    // Line scores: rows 1–4 at the right of the grid, columns (6–9) below
    // it. Each carries its line number as hint text.
    for (int line = 1; line <= 4; ++line) {
        auto *l = label(board, QStringLiteral("label_linescore%1").arg(line), QStringLiteral("1000"),
                        QRect(432, 40 + kRowStep * (line - 1), 64, 24), 19);
        l->setHint(QString::number(line));
        l->setCursor(Qt::PointingHandCursor);
        connect(l, &TagLabel::clicked, this, [this](TagLabel *t) { label_linescore1Click(t); });
    }
    for (int column = 1; column <= 4; ++column) {
        auto *l = label(board, QStringLiteral("label_linescore%1").arg(column + 5), QStringLiteral("1000"),
                        QRect(102 + kColumnStep * (column - 1), 443, 64, 24), 19, false, pegcolors::maroon(),
                        Qt::AlignHCenter | Qt::AlignTop);
        l->setHint(QString::number(column + 5));
        l->setCursor(Qt::PointingHandCursor);
        connect(l, &TagLabel::clicked, this, [this](TagLabel *t) { label_linescore1Click(t); });
    }

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    label(board, QStringLiteral("label19"), QStringLiteral("Hands Total"), QRect(424, 425, 76, 14), kDefaultFontPixels,
          true, pegcolors::maroon(), centred);
    label(board, QStringLiteral("label_score"), QStringLiteral("0"), QRect(426, 440, 72, 24), 21, true,
          pegcolors::maroon(), centred);
    label(board, QStringLiteral("Label16"), QStringLiteral("Running Total"), QRect(8, 425, 82, 14), kDefaultFontPixels,
          true, pegcolors::maroon(), centred);
    label(board, QStringLiteral("label_total"), QStringLiteral("0"), QRect(8, 440, 82, 24), 21, true,
          pegcolors::maroon(), centred);
    label(board, QStringLiteral("Label18"), QStringLiteral("Rounds Played"), QRect(8, 385, 82, 14), kDefaultFontPixels,
          true, pegcolors::maroon(), centred);
    label(board, QStringLiteral("label_rounds"), QStringLiteral("0"), QRect(8, 400, 82, 24), 21, true,
          pegcolors::maroon(), centred);
    auto *hint = label(board, QStringLiteral("label_breakdown"),
                       QStringLiteral("Press on the line's score in order to see a breakdown of the score."),
                       QRect(8, 169, 81, 88));
    hint->setWordWrap(true);

    auto *start = makePictureButton(board, QStringLiteral("button_start"), QRect(515, 376, 126, 40),
                                    QStringLiteral("Start Game"));
    connect(start, &ImageControl::clicked, this, [this] { button_startClick(); });
    // Review Round beside the outcome: below the CRIBBAGE board, clear of
    // the outcome panels and of Start Game.
    auto *review = new TSelButton(board, QStringLiteral("button_review"), QRect(527, 349, 102, 22));
    styleDoneButton(*review);
    review->setCaption(QStringLiteral("Review Round"));
    review->setAccessibleName(QStringLiteral("Review Round"));
    review->setFocusPolicy(Qt::StrongFocus);
    review->setOnClick([this](TSelButton *) { ReviewRound1Click(); });
    review->hide();
    // The CRIBBAGE board, whose pegs follow the running total.
    m_pegs = new PegBoard(board, QStringLiteral("Image2"), QRect(520, 16, 110, 329),
                          gameresources::pictureSize(gameresources::Picture::CribbageMain));
    m_pegs->setPictureSource(
        [](qreal ratio) { return gameresources::picture(gameresources::Picture::CribbageMain, ratio); });
}

void Tmain::buildPanels(QWidget *board)
{
    // Name entry.
    auto *name = panel(board, QStringLiteral("panel_name"), QRect(98, 38, 263, 137), pegcolors::maroon());
    heading(name, QStringLiteral("Label5"), QStringLiteral("Label6"), QStringLiteral("ENTER YOUR NAME"),
            QRect(0, 12, 261, 22), QPoint(1, -1), 19, true, Qt::AlignHCenter | Qt::AlignTop);
    m_editAname = nameEdit(name, QStringLiteral("edit_aname"), QRect(66, 44, 131, 24));
    auto *done = makePictureButton(name, QStringLiteral("button_namedone"), QRect(3, 86, 126, 40), QStringLiteral("Done"));
    auto *cancel =
        makePictureButton(name, QStringLiteral("button_namecancel"), QRect(134, 86, 126, 40), QStringLiteral("Close"));
    connect(done, &ImageControl::clicked, this, [this] { button_namedoneClick(); });
    connect(cancel, &ImageControl::clicked, this, [this] { button_namecancelClick(); });

    // Game over.
    auto *over = panel(board, QStringLiteral("panel_over"), QRect(483, 19, 191, 311), pegcolors::maroon());
    label(over, QStringLiteral("Label15"), QStringLiteral("GAME OVER"), QRect(0, 6, 191, 24), 21, true,
          pegcolors::maroon(), Qt::AlignHCenter | Qt::AlignTop);
    label(over, QStringLiteral("Label17"), QStringLiteral("GAME OVER"), QRect(1, 7, 191, 24), 21, true,
          pegcolors::maroon(), Qt::AlignHCenter | Qt::AlignTop);
    heading(over, QStringLiteral("Label1"), QStringLiteral("Label2"),
            QStringLiteral("You didn't earn enough points to continue."), QRect(8, 34, 176, 32), QPoint(1, -1), 13,
            true, Qt::AlignHCenter | Qt::AlignTop, true);
    label(over, QStringLiteral("label_score1"), QStringLiteral("Your Score: "), QRect(4, 72, 183, 20), 16, true,
          QColor(255, 0, 0), Qt::AlignHCenter | Qt::AlignTop);
    heading(over, QStringLiteral("Label3"), QStringLiteral("Label4"), QStringLiteral("Enter Your Name"),
            QRect(0, 100, 191, 18), QPoint(1, -1), 13, true, Qt::AlignHCenter | Qt::AlignTop);
    m_editName = nameEdit(over, QStringLiteral("edit_name"), QRect(30, 124, 131, 24));
    m_editName->setText(QStringLiteral("Guest"));
    auto *send = makePictureButton(over, QStringLiteral("button_sendscore"), QRect(19, 163, 160, 40),
                                   QStringLiteral("SEND SCORE"));
    connect(send, &ImageControl::clicked, this, [this] { button_sendscoreClick(); });
    auto *highscores = makePictureButton(over, QStringLiteral("button_highscores"), QRect(32, 212, 126, 40),
                                         QStringLiteral("High Scores"));
    connect(highscores, &ImageControl::clicked, this, [this] { button_highscoresClick(); });
    auto *close = makePictureButton(over, QStringLiteral("button_cancel"), QRect(32, 261, 126, 40),
                                    QStringLiteral("Close"));
    connect(close, &ImageControl::clicked, this, [this] { button_cancelClick(); });

    auto *wait = panel(over, QStringLiteral("panel_wait"), QRect(3, 160, 185, 46), pegcolors::background());
    auto *waitLabel = label(wait, QStringLiteral("label_wait"), QStringLiteral("Posting Scores, Please Wait.."),
                            QRect(10, 3, 132, 40), 16, true, pegcolors::maroon(), Qt::AlignCenter);
    waitLabel->setWordWrap(true);

    // Continue.
    auto *cont = panel(board, QStringLiteral("panel_continue"), QRect(482, 19, 192, 142), pegcolors::maroon());
    heading(cont, QStringLiteral("Label7"), QStringLiteral("Label8"),
            QStringLiteral("You earned enough points to continue.."), QRect(8, 14, 176, 48), QPoint(1, -1), 16, true,
            Qt::AlignHCenter | Qt::AlignTop, true);
    auto *next = makePictureButton(cont, QStringLiteral("button_start2"), QRect(33, 86, 126, 40),
                                   QStringLiteral("Continue"));
    connect(next, &ImageControl::clicked, this, [this] { button_start2Click(); });

    // Score breakdown.
    auto *breakdown = panel(board, QStringLiteral("panel_linescore"), QRect(96, 108, 332, 221), pegcolors::maroon());
    label(breakdown, QStringLiteral("label_ls2"), QStringLiteral("Line Score"), QRect(9, 7, 200, 18), 16, true,
          pegcolors::shadowGrey());
    label(breakdown, QStringLiteral("label_ls1"), QStringLiteral("Line Score"), QRect(10, 7, 200, 18), 16, true);
    for (int k = 1; k <= 5; ++k)
        new ImageControl(breakdown, QStringLiteral("card_ls%1").arg(k),
                         QRect(8 + 64 * (k - 1), 26, kCardWidth, kCardHeight));
    static const char *const kCategories[5] = {"Nob:", "Sets:", "Runs:", "Flush:", "Fifteen:"};
    static const int kCaptionTops[5] = {111, 131, 151, 171, 191};
    static const int kValueTops[5] = {111, 131, 152, 172, 192};
    for (int k = 0; k < 5; ++k) {
        label(breakdown, QStringLiteral("Label%1").arg(21 + k), QString::fromLatin1(kCategories[k]),
              QRect(27, kCaptionTops[k], 60, 16), 13, true);
        label(breakdown, QStringLiteral("label_line%1").arg(k + 1), QStringLiteral("0"),
              QRect(93, kValueTops[k], 40, 16), 13, true);
    }
    label(breakdown, QStringLiteral("Label26"), QStringLiteral("TOTAL"), QRect(233, 116, 60, 18), 13, true);
    auto *rule = new QFrame(breakdown);
    rule->setObjectName(QStringLiteral("Bevel1"));
    rule->setGeometry(224, 136, 73, 1);
    rule->setFrameShape(QFrame::HLine);
    rule->setStyleSheet(QStringLiteral("color: rgb(128,0,0)"));
    label(breakdown, QStringLiteral("label_line6"), QString(), QRect(218, 140, 87, 20), 19, true, pegcolors::maroon(),
          Qt::AlignHCenter | Qt::AlignTop);
    auto *closeBreakdown = makePictureButton(breakdown, QStringLiteral("Image1"), QRect(200, 175, 126, 40),
                                             QStringLiteral("Close"));
    closeBreakdown->setStretch(true);
    connect(closeBreakdown, &ImageControl::clicked, this, [this] { Image1Click(); });

    // Update offer.
    auto *update = panel(board, QStringLiteral("panel_update"), QRect(173, 136, 329, 161), pegcolors::maroon());
    label(update, QStringLiteral("Label20"), QStringLiteral("Update Available"), QRect(-1, 10, 327, 24), 19, true,
          pegcolors::shadowGrey(), Qt::AlignHCenter | Qt::AlignTop);
    label(update, QStringLiteral("Label27"), QStringLiteral("Update Available"), QRect(1, 9, 327, 24), 19, true,
          pegcolors::maroon(), Qt::AlignHCenter | Qt::AlignTop);
    label(update, QStringLiteral("Label28"), QStringLiteral("Would you like to update now?"), QRect(2, 47, 325, 20), 16,
          true, pegcolors::shadowGrey(), Qt::AlignHCenter | Qt::AlignTop);
    label(update, QStringLiteral("Label29"), QStringLiteral("Would you like to update now?"), QRect(3, 46, 325, 20), 16,
          true, pegcolors::maroon(), Qt::AlignHCenter | Qt::AlignTop);
    // Which version is on offer, between the question and the buttons.
    label(update, QStringLiteral("label_updateversion"), QString(), QRect(1, 68, 327, 18), 13, false, Qt::black,
          Qt::AlignHCenter | Qt::AlignTop);
    makePictureButton(update, QStringLiteral("button_updateyes"), QRect(27, 90, 126, 40), QStringLiteral("Continue"));
    makePictureButton(update, QStringLiteral("button_updatecancel"), QRect(171, 90, 126, 40), QStringLiteral("Cancel"));
    label(update, QStringLiteral("label_update"), QString(), QRect(1, 140, 327, 20), 16, false, Qt::black,
          Qt::AlignHCenter | Qt::AlignBottom);
}

void Tmain::buildMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto addItem = [](QMenu *menu, const char *name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto addSeparator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("file1"));
    QAction *start = addItem(file, "StartGame1", QStringLiteral("Start Game"));
    start->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(start, &QAction::triggered, this, [this] { StartGame1Click(); });
    addSeparator(file, "N1");
    connect(addItem(file, "Exit1", QStringLiteral("Exit")), &QAction::triggered, this, [this] { Exit1Click(); });

    QMenu *options = bar->addMenu(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("Options1"));
    m_playSounds = addItem(options, "PlaySounds1", QStringLiteral("Play Sounds"));
    m_playSounds->setCheckable(true);
    m_playSounds->setChecked(true);
    // Qt flips a checkable item before it reports the trigger; the handler
    // does its own inverting (and saving), so the flip is undone first.
    connect(m_playSounds, &QAction::triggered, this, [this] {
        m_playSounds->setChecked(!m_playSounds->isChecked());
        PlaySounds1Click();
    });
    connect(addItem(options, "ResetScreenLocation1", QStringLiteral("Reset Screen Location")), &QAction::triggered,
            this, [this] { ResetScreenLocation1Click(); });
    connect(addItem(options, "ChangeName1", QStringLiteral("Change  Name")), &QAction::triggered, this,
            [this] { ChangeName1Click(); });
    m_updateCheck = addItem(options, "updatecheck", QStringLiteral("Automatically Check for Updates"));
    m_updateCheck->setCheckable(true);
    m_updateCheck->setChecked(true);
    connect(m_updateCheck, &QAction::triggered, this, [this] {
        m_updateCheck->setChecked(!m_updateCheck->isChecked());
        updatecheckClick();
    });
    m_showHint = addItem(options, "ShowHint1", QStringLiteral("Show Hint"));
    m_showHint->setShortcut(QKeySequence(Qt::Key_H));
    m_showHint->setEnabled(false);
    connect(m_showHint, &QAction::triggered, this, [this] { ShowHint1Click(); });

    QMenu *view = bar->addMenu(QStringLiteral("View"));
    view->setObjectName(QStringLiteral("View1"));
    connect(addItem(view, "TallyList1", QStringLiteral("Tally List")), &QAction::triggered, this,
            [this] { TallyList1Click(); });
    connect(addItem(view, "ViewHighScoreList1", QStringLiteral("View High Score List")), &QAction::triggered, this,
            [this] { ViewHighScoreList1Click(); });
    m_reviewRound = addItem(view, "ReviewRound1", QStringLiteral("Review Round"));
    m_reviewRound->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_reviewRound->setEnabled(false);
    connect(m_reviewRound, &QAction::triggered, this, [this] { ReviewRound1Click(); });

    QMenu *help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction *helpItem = addItem(help, "Help2", QStringLiteral("Help"));
    helpItem->setShortcut(QKeySequence(Qt::Key_F1));
    connect(helpItem, &QAction::triggered, this, [this] { Help2Click(); });
    addSeparator(help, "N2");
    connect(addItem(help, "CheckforUpdateNow1", QStringLiteral("Check for Update Now")), &QAction::triggered, this,
            [this] { CheckforUpdateNow1Click(); });
    addSeparator(help, "N3");
    connect(addItem(help, "About1", QStringLiteral("About")), &QAction::triggered, this, [this] { About1Click(); });

    bar->addSeparator()->setObjectName(QStringLiteral("N4"));
    QAction *pegclub = bar->addAction(QStringLiteral("Check out Pegclub"));
    pegclub->setObjectName(QStringLiteral("Pegclub1"));
    connect(pegclub, &QAction::triggered, this, [this] { Pegclub1Click(); });
}
