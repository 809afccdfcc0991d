// The help window: its sections, its layout at the start size and after
// resizing, and its About and Done buttons.
#include "aboutform.h"
#include "gameresources.h"
#include "helpform.h"
#include "lbbackground.h"
#include "selbutton.h"
#include "taglabel.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kSilver(192, 192, 192);
const QColor kPaleYellow(224, 228, 171);

struct SectionRow {
    const char *button;
    int tag;
    const char *caption;
    const char *title;  // the text's first line
};

const SectionRow kSections[] = {
    {"SelButton1", 1, "Overview", "Overview"},
    {"SelButton3", 3, "Game Play", "Game Play"},
    {"SelButton4", 4, "Scoring", "Scoring"},
    {"SelButton5", 5, "Documentation", "History"},
    {"SelButton6", 6, "License", "License"},
};

const char *const kMemos[] = {"memo1", "memo3", "memo4", "memo5", "memo6"};

class HelpFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tileOwner = std::make_unique<QWidget>();
        auto *tile = new TLbBackground(tileOwner.get());
        tile->setImage(QPixmap::fromImage(gameresources::tileImage()));
        tile->setEnabled(true);
        help = std::make_unique<Thelp>();
        help->copyBackground(*tile);
        about = std::make_unique<Tabout>(QStringLiteral("127.0.0.1:8080"));
        about->copyBackground(*tile);
    }

    static void showAndWait(QWidget &window)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    template<typename T = QWidget>
    T *control(const char *name) const
    {
        return help->findChild<T *>(QString::fromLatin1(name));
    }

    void click(const char *name) const
    {
        auto *button = control<TSelButton>(name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    // The text box a reader sees: the one under the middle of the text
    // area.
    QString visibleMemo() const
    {
        const QWidget *memo1 = control("memo1");
        const QPoint middle = memo1->mapTo(help.get(), memo1->rect().center());
        for (QWidget *w = help->childAt(middle); w; w = w->parentWidget())
            if (qobject_cast<QTextEdit *>(w))
                return w->objectName();
        return QString();
    }

    QString heading() const { return control<QLabel>("label_caption")->text(); }

    std::unique_ptr<QWidget> tileOwner;
    std::unique_ptr<Thelp> help;
    std::unique_ptr<Tabout> about;
};

TEST_F(HelpFormTest, OpensOnTheOverview)
{
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Pegsquare - Help File"));
    EXPECT_EQ(visibleMemo(), QStringLiteral("memo1"));
    EXPECT_EQ(heading(), QStringLiteral("Overview"));
}

// Each button shows its own text under its own caption; a second click on
// the section already shown changes nothing. Run in an order that leaves
// every section from another one.
TEST_F(HelpFormTest, SectionButtonsShowTheirText)
{
    showAndWait(*help);
    for (const int index : {4, 2, 0, 3, 1, 4}) {
        const SectionRow &row = kSections[index];
        SCOPED_TRACE(row.button);
        const auto *button = control<TSelButton>(row.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->tag(), row.tag);
        EXPECT_EQ(button->caption(), QString::fromLatin1(row.caption));
        const QString memo = QStringLiteral("memo%1").arg(row.tag);
        for (int clicks = 1; clicks <= 2; ++clicks) {
            SCOPED_TRACE(clicks);
            click(row.button);
            EXPECT_EQ(visibleMemo(), memo);
            EXPECT_EQ(heading(), QString::fromLatin1(row.caption));
        }
        const QStringList lines = control<QTextEdit>(memo.toLatin1().constData())->toPlainText().split(u'\n');
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[0], QString::fromLatin1(row.title));
        EXPECT_EQ(lines[1], QString());
        EXPECT_FALSE(lines[2].trimmed().isEmpty());
    }
}

// The newest release in the history is the version the program carries.
TEST_F(HelpFormTest, HistoryBeginsWithTheProgramsVersion)
{
    const QStringList lines = control<QTextEdit>("memo5")->toPlainText().split(u'\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Version " PEGSQUARE_VERSION " - "))) << lines[2].toStdString();
}

TEST_F(HelpFormTest, UnknownSenderChangesNothing)
{
    click("SelButton4");
    TSelButton stray(nullptr, QStringLiteral("stray"));
    stray.setCaption(QStringLiteral("Stray"));
    stray.setTag(2);
    help->SelButton1Click(&stray);
    help->SelButton1Click(nullptr);
    EXPECT_EQ(visibleMemo(), QStringLiteral("memo4"));
    EXPECT_EQ(heading(), QStringLiteral("Scoring"));
}

// The side panel keeps its width and its buttons their places; the main
// panel, its heading and the text boxes take the rest.
TEST_F(HelpFormTest, LayoutAtStartAndAfterResizing)
{
    struct Row {
        const char *name;
        QRect atStart;
        QRect enlarged;  // in a 700 × 600 window
    };
    const Row rows[] = {
        {"panel_side", QRect(0, 0, 137, 431), QRect(0, 0, 137, 600)},
        {"SelButton1", QRect(7, 8, 122, 20), QRect(7, 8, 122, 20)},
        {"SelButton3", QRect(7, 32, 122, 20), QRect(7, 32, 122, 20)},
        {"SelButton4", QRect(7, 56, 122, 20), QRect(7, 56, 122, 20)},
        {"SelButton5", QRect(7, 80, 122, 20), QRect(7, 80, 122, 20)},
        {"SelButton6", QRect(7, 104, 122, 20), QRect(7, 104, 122, 20)},
        {"button_about", QRect(7, 152, 122, 20), QRect(7, 152, 122, 20)},
        {"button_done", QRect(18, 404, 95, 20), QRect(18, 404, 95, 20)},
        {"panel_main", QRect(137, 0, 386, 431), QRect(137, 0, 563, 600)},
        {"label_caption", QRect(1, 1, 384, 20), QRect(1, 1, 561, 20)},
        {"memo1", QRect(1, 21, 384, 409), QRect(1, 21, 561, 578)},
        {"memo3", QRect(1, 21, 384, 409), QRect(1, 21, 561, 578)},
        {"memo4", QRect(1, 21, 384, 409), QRect(1, 21, 561, 578)},
        {"memo5", QRect(1, 21, 384, 409), QRect(1, 21, 561, 578)},
        {"memo6", QRect(1, 21, 384, 409), QRect(1, 21, 561, 578)},
    };
    showAndWait(*help);
    ASSERT_EQ(help->size(), QSize(523, 431));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(control(row.name), nullptr);
        EXPECT_EQ(control(row.name)->geometry(), row.atStart);
    }
    help->resize(700, 600);
    QTRY_COMPARE(help->size(), QSize(700, 600));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control(row.name)->geometry(), row.enlarged);
    }
    // The Done button stays on screen however small the window is made.
    help->resize(100, 100);
    QTRY_COMPARE(help->size(), help->minimumSize());
    EXPECT_TRUE(help->rect().contains(control("button_done")->geometry().translated(control("panel_side")->pos())));
}

TEST_F(HelpFormTest, ButtonsHaveTheHelpWindowsLook)
{
    struct Row {
        const char *name;
        const char *caption;
        Qt::Alignment alignment;
    };
    const Row rows[] = {
        {"SelButton1", "Overview", Qt::AlignLeft},   {"SelButton3", "Game Play", Qt::AlignLeft},
        {"SelButton4", "Scoring", Qt::AlignLeft},    {"SelButton5", "Documentation", Qt::AlignLeft},
        {"SelButton6", "License", Qt::AlignLeft},    {"button_about", "About", Qt::AlignLeft},
        {"button_done", "Done", Qt::AlignHCenter},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto *button = control<TSelButton>(row.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->caption(), QString::fromLatin1(row.caption));
        EXPECT_EQ(button->color(), kMaroon);
        EXPECT_EQ(button->colorOver(), kMaroon);
        EXPECT_EQ(button->colorDown(), kMaroon);
        EXPECT_EQ(button->colorBorder(), kPaleYellow);
        EXPECT_EQ(button->colorOverCaption(), kPaleYellow);
        EXPECT_EQ(button->fontColor(), kSilver);
        EXPECT_EQ(button->font().pixelSize(), 13);
        EXPECT_TRUE(button->font().bold());
        EXPECT_EQ(button->borderWidth(), 1);
        EXPECT_EQ(button->alignment() & Qt::AlignHorizontal_Mask, row.alignment);
    }
    const auto *caption = control<TagLabel>("label_caption");
    EXPECT_EQ(caption->textColor(), kMaroon);
    EXPECT_EQ(caption->font().pixelSize(), 16);
    EXPECT_TRUE(caption->isBold());
    EXPECT_EQ(caption->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST_F(HelpFormTest, TextBoxesReadOnlyOnWhiteAndOutOfTheTabChain)
{
    for (const char *name : kMemos) {
        SCOPED_TRACE(name);
        const auto *memo = control<QTextEdit>(name);
        ASSERT_NE(memo, nullptr);
        EXPECT_TRUE(memo->isReadOnly());
        EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);
        EXPECT_EQ(memo->document()->documentMargin(), 5);
        EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(255, 255, 255));
        EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 0, 0));
        EXPECT_EQ(memo->font().family(), QStringLiteral("Liberation Sans"));
        EXPECT_EQ(memo->font().pixelSize(), 11);
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_FALSE(memo->focusPolicy() & Qt::TabFocus);
    }
}

// Hidden, not destroyed: shown again, the window opens on the section
// last chosen.
TEST_F(HelpFormTest, DoneHidesAndKeepsTheSection)
{
    showAndWait(*help);
    click("SelButton5");
    click("button_done");
    EXPECT_FALSE(help->isVisible());
    showAndWait(*help);
    EXPECT_EQ(visibleMemo(), QStringLiteral("memo5"));
    EXPECT_EQ(heading(), QStringLiteral("Documentation"));
}

TEST_F(HelpFormTest, AboutOpensBesideTheHelpWindow)
{
    help->setAboutWindow(about.get());
    showAndWait(*help);
    click("button_about");
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(about->isModal());
    // Closing either leaves the other open.
    about->close();
    EXPECT_TRUE(help->isVisible());
    click("button_about");
    click("button_done");
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(help->isVisible());
}

TEST_F(HelpFormTest, AboutWithoutAnAboutWindowDoesNothing)
{
    showAndWait(*help);
    click("button_about");
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(about->isVisible());
}

// What the reader sees changes with every section. With PEGSQUARE_SHOT_DIR
// set, each section's picture is also saved there as help-<tag>.png.
TEST_F(HelpFormTest, EachSectionDrawsItsOwnText)
{
    showAndWait(*help);
    const QString shots = qEnvironmentVariable("PEGSQUARE_SHOT_DIR");
    const QRect textArea = control("memo1")->geometry().translated(control("panel_main")->pos());
    std::vector<QImage> seen;
    for (const SectionRow &row : kSections) {
        SCOPED_TRACE(row.button);
        click(row.button);
        const QPixmap shot = help->grab();
        ASSERT_FALSE(shot.isNull());
        if (!shots.isEmpty())
            shot.save(QDir(shots).filePath(QStringLiteral("help-%1.png").arg(row.tag)));
        const QImage text = shot.toImage().copy(textArea);
        for (const QImage &before : seen)
            EXPECT_NE(text, before);
        seen.push_back(text);
    }
}

} // namespace
