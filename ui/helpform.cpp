#include "helpform.h"

#include "colors.h"
#include "controls.h"
#include "flatpanel.h"
#include "fonts.h"
#include "gameresources.h"
#include "selbutton.h"
#include "taglabel.h"

#include <QTextEdit>

namespace {

constexpr int kSideWidth = 137;
constexpr int kCaptionHeight = 20;
constexpr int kCaptionPixels = 16;  // bold 12 point
constexpr int kTextPixels = 11;     // Arial 8 point
constexpr int kTextMargin = 5;
// The start size's client area; the window never shrinks below the height
// that keeps the Done button on screen.
constexpr int kMinimumWidth = kSideWidth + 200;
constexpr int kMinimumHeight = 431;

struct Section {
    int tag;
    const char *caption;
    const char *text;  // the help text's resource name
    int top;
};

const Section kSections[] = {
    {1, "Overview", "overview", 8},
    {3, "Game Play", "gameplay", 32},
    {4, "Scoring", "scoring", 56},
    {5, "Documentation", "documentation", 80},
    {6, "License", "license", 104},
};

QString memoName(int tag)
{
    return QStringLiteral("memo%1").arg(tag);
}

TFlatPanel *makePanel(QWidget *parent, const QString &name)
{
    auto *panel = new TFlatPanel(parent, name);
    panel->setTransparent(true);
    panel->setBorderColors(Qt::black);
    panel->setCaption(QString());
    return panel;
}

QTextEdit *makeMemo(QWidget *parent, int tag, const QString &text)
{
    auto *memo = new QTextEdit(parent);
    memo->setObjectName(memoName(tag));
    memo->setReadOnly(true);
    memo->setAcceptRichText(false);
    memo->setFrameShape(QFrame::NoFrame);
    memo->document()->setDocumentMargin(kTextMargin);
    memo->setFont(pegfonts::sans(kTextPixels));
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, pegcolors::white());
    p.setColor(QPalette::Text, Qt::black);
    memo->setPalette(p);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Not reached with Tab; a click still lets the reader select and copy.
    memo->setFocusPolicy(Qt::ClickFocus);
    memo->setPlainText(text);
    return memo;
}

} // namespace

Thelp::Thelp()
    : SecondaryWindow(QStringLiteral("Thelp"), QStringLiteral("Pegsquare - Help File"), QSize(523, 431),
                      Border::Resizable)
{
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    buildLayout();
    FormCreate();
}

void Thelp::buildLayout()
{
    m_panelSide = makePanel(this, QStringLiteral("panel_side"));
    for (const Section &section : kSections) {
        auto *button = new TSelButton(m_panelSide, QStringLiteral("SelButton%1").arg(section.tag),
                                      QRect(7, section.top, 122, 20));
        styleSectionButton(*button);
        button->setCaption(QString::fromLatin1(section.caption));
        button->setTag(section.tag);
        button->setOnClick([this](TSelButton *sender) { SelButton1Click(sender); });
    }
    auto *about = new TSelButton(m_panelSide, QStringLiteral("button_about"), QRect(7, 152, 122, 20));
    styleSectionButton(*about);
    about->setCaption(QStringLiteral("About"));
    about->setOnClick([this](TSelButton *) { button_aboutClick(); });
    auto *done = new TSelButton(m_panelSide, QStringLiteral("button_done"), QRect(18, 404, 95, 20));
    styleDoneButton(*done);
    done->setCaption(QStringLiteral("Done"));
    done->setOnClick([this](TSelButton *) { button_doneClick(); });

    m_panelMain = makePanel(this, QStringLiteral("panel_main"));
    m_caption = new TagLabel(m_panelMain, QStringLiteral("label_caption"), QStringLiteral("Overview"), QRect());
    m_caption->setFont(pegfonts::sans(kCaptionPixels, true));
    m_caption->setTextColor(pegcolors::maroon());
    m_caption->setAlignment(Qt::AlignCenter);
    for (const Section &section : kSections)
        makeMemo(m_panelMain, section.tag, gameresources::helpText(QString::fromLatin1(section.text)));
    layoutPanels();
}

void Thelp::layoutPanels()
{
    m_panelSide->setGeometry(0, 0, kSideWidth, height());
    m_panelMain->setGeometry(kSideWidth, 0, width() - kSideWidth, height());
    // Docked inside the main panel's one-pixel border: the heading on top,
    // the text boxes filling the rest.
    const QRect inside = m_panelMain->rect().adjusted(1, 1, -1, -1);
    m_caption->setGeometry(inside.left(), inside.top(), inside.width(), kCaptionHeight);
    const QRect text = inside.adjusted(0, kCaptionHeight, 0, 0);
    for (const Section &section : kSections)
        if (auto *memo = m_panelMain->findChild<QTextEdit *>(memoName(section.tag)))
            memo->setGeometry(text);
}

void Thelp::resizeEvent(QResizeEvent *event)
{
    SecondaryWindow::resizeEvent(event);
    layoutPanels();
}

void Thelp::setAboutWindow(QWidget *about, const QWidget *centreOver)
{
    m_about = about;
    m_aboutOver = centreOver;
}

void Thelp::FormCreate()
{
    if (auto *memo = m_panelMain->findChild<QTextEdit *>(memoName(1)))
        memo->raise();
}

void Thelp::SelButton1Click(TSelButton *sender)
{
    if (!sender)
        return;
    auto *memo = m_panelMain->findChild<QTextEdit *>(memoName(sender->tag()));
    if (!memo)
        return;
    memo->raise();
    m_caption->setText(sender->caption());
}

void Thelp::button_aboutClick()
{
    showWindow(m_about, m_aboutOver ? m_aboutOver : this);
}

void Thelp::button_doneClick()
{
    hide();
}
