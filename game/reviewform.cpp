#include "reviewform.h"

#include "cardslot.h"
#include "colors.h"
#include "fonts.h"
#include "handnotation.h"
#include "imagecontrol.h"
#include "selbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

namespace {

constexpr int kCardWidth = 57;
constexpr int kCardHeight = 80;
constexpr int kFrame = 3;  // the width of a cell's mark around its card
constexpr int kPitchX = kCardWidth + 2 * kFrame + 4;
constexpr int kPitchY = kCardHeight + 2 * kFrame + 4;
constexpr QPoint kBoardAt(12, 40);
constexpr int kTextLeft = kBoardAt.x() + 4 * kPitchX + 14;
constexpr int kTextWidth = 250;
constexpr int kTextPixels = 13;

// The marks' colours: the player's cell, the advisor's best, and a cell
// that is both (the player found the best).
const QColor kPlayerColor(30, 80, 200);
const QColor kBestColor(214, 160, 20);
const QColor kBothColor(30, 140, 60);

QString cellName(int cell)
{
    return QStringLiteral("row %1, column %2").arg(cell / 4 + 1).arg(cell % 4 + 1);
}

QString points(double value)
{
    return QString::number(value, 'f', 2);
}

QString markText(review::Mark mark)
{
    return QString::fromLatin1(review::markName(mark));
}

QLabel *textLabel(QWidget *parent, const QString &name, const QRect &geometry, bool bold = false)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFont(pegfonts::sans(kTextPixels, bold));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, pegcolors::maroon());
    label->setPalette(p);
    return label;
}

TSelButton *button(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry)
{
    auto *b = new TSelButton(parent, name, geometry);
    styleDoneButton(*b);
    b->setCaption(caption);
    b->setAccessibleName(caption);
    return b;
}

} // namespace

ReviewWindow::ReviewWindow(const CardImageList &cards)
    : SecondaryWindow(QStringLiteral("ReviewWindow"), QStringLiteral("Pegsquare - Review Round"),
                      QSize(kTextLeft + kTextWidth + 12, kBoardAt.y() + 4 * kPitchY + 50), Border::Dialog)
    , m_cards(cards)
{
    auto *title = textLabel(this, QStringLiteral("label_reviewtitle"), QRect(12, 10, 300, 20), true);
    title->setText(QStringLiteral("What each placement cost"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress_review"));
    m_progress->setGeometry(kTextLeft, 12, kTextWidth, 16);
    m_progress->setAccessibleName(QStringLiteral("Review progress"));

    for (int cell = 0; cell < review::kCards; ++cell) {
        const QPoint at = kBoardAt + QPoint(cell % 4 * kPitchX, cell / 4 * kPitchY);
        auto *frame = new QLabel(this);
        frame->setObjectName(QStringLiteral("frame_review%1").arg(cell));
        frame->setGeometry(QRect(at, QSize(kCardWidth + 2 * kFrame, kCardHeight + 2 * kFrame)));
        frame->setAutoFillBackground(true);
        m_frames[cell] = frame;
        m_cells[cell] = new ImageControl(this, QStringLiteral("card_review%1").arg(cell),
                                         QRect(at + QPoint(kFrame, kFrame), QSize(kCardWidth, kCardHeight)));
    }
    m_stepText = textLabel(this, QStringLiteral("label_reviewstep"), QRect(kTextLeft, 40, kTextWidth, 36), true);
    m_card = new ImageControl(this, QStringLiteral("card_reviewnext"), QRect(kTextLeft, 80, kCardWidth, kCardHeight));
    auto *legend = textLabel(this, QStringLiteral("label_reviewlegend"),
                             QRect(kTextLeft + kCardWidth + 10, 80, kTextWidth - kCardWidth - 10, kCardHeight));
    legend->setTextFormat(Qt::RichText);
    legend->setText(QStringLiteral("<span style='color:%1'>&#9632;</span> your cell<br>"
                                   "<span style='color:%2'>&#9632;</span> the advisor's best<br>"
                                   "<span style='color:%3'>&#9632;</span> you found the best")
                        .arg(kPlayerColor.name(), kBestColor.name(), kBothColor.name()));
    m_judgement = textLabel(this, QStringLiteral("label_reviewjudgement"), QRect(kTextLeft, 170, kTextWidth, 110));
    m_summary = textLabel(this, QStringLiteral("label_reviewsummary"), QRect(kTextLeft, 285, kTextWidth, 70), true);

    const int buttonsY = kBoardAt.y() + 4 * kPitchY + 12;
    m_previous = button(this, QStringLiteral("button_reviewprevious"), QStringLiteral("< Previous"),
                        QRect(12, buttonsY, 95, 26));
    m_next = button(this, QStringLiteral("button_reviewnext"), QStringLiteral("Next >"), QRect(113, buttonsY, 95, 26));
    m_copy = button(this, QStringLiteral("button_reviewcopy"), QStringLiteral("Copy Round"),
                    QRect(kTextLeft, buttonsY, 110, 26));
    auto *done = button(this, QStringLiteral("button_done"), QStringLiteral("Done"),
                        QRect(kTextLeft + kTextWidth - 95, buttonsY, 95, 26));
    m_previous->setOnClick([this](TSelButton *) { showStep(m_step - 1); });
    m_next->setOnClick([this](TSelButton *) { showStep(m_step + 1); });
    m_copy->setOnClick([this](TSelButton *) {
        QApplication::clipboard()->setText(QString::fromStdString(review::formatRound(m_round)));
    });
    done->setOnClick([this](TSelButton *) { close(); });
    for (TSelButton *b : {m_previous, m_next, m_copy, done})
        b->setFocusPolicy(Qt::StrongFocus);
    showStep(0);
}

ReviewWindow::~ReviewWindow()
{
    stopWorker();
}

void ReviewWindow::stopWorker()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void ReviewWindow::review(const review::Round &round)
{
    stopWorker();
    ++m_generation;
    m_round = round;
    m_result.reset();
    m_cancel = false;
    m_progress->setRange(0, 2 * review::kCards);
    m_progress->setValue(0);
    m_progress->show();
    showStep(0);
    const unsigned generation = m_generation;
    // The worker only reads its own copy of the round and reports through
    // queued calls, which Qt drops once this window is gone; the window
    // waits for it before it goes.
    m_worker = std::thread([this, round, generation] {
        const auto progress = [this, generation](int done, int of) {
            QMetaObject::invokeMethod(
                this,
                [this, done, of, generation] {
                    if (generation == m_generation) {
                        m_progress->setRange(0, of);
                        m_progress->setValue(done);
                    }
                },
                Qt::QueuedConnection);
        };
        std::optional<review::Review> result = review::reviewRound(round, &m_cancel, progress);
        QMetaObject::invokeMethod(
            this, [this, result, generation] { finished(result, generation); }, Qt::QueuedConnection);
    });
    show();
    raise();
    activateWindow();
}

void ReviewWindow::finished(std::optional<review::Review> result, unsigned generation)
{
    if (generation != m_generation || !result)
        return;
    m_result = std::move(result);
    m_progress->hide();
    showStep(0);
    Q_EMIT reviewed();
}

void ReviewWindow::showStep(int step)
{
    m_step = std::clamp(step, 0, review::kCards - 1);
    const bool ready = m_result.has_value();
    m_previous->setEnabled(ready && m_step > 0);
    m_next->setEnabled(ready && m_step < review::kCards - 1);
    m_copy->setEnabled(true);
    for (int cell = 0; cell < review::kCards; ++cell) {
        const review::Placement *p = ready ? &m_result->placements[m_step] : nullptr;
        const int code = p ? p->before[cell] : 0;
        if (code)
            showCard(m_cells[cell], m_cards, code);
        else
            clearCell(m_cells[cell]);
        QString mark;
        QColor color = pegcolors::background().darker(115);
        if (p && cell == p->cell && cell == p->bestCell) {
            mark = QStringLiteral("both");
            color = kBothColor;
        } else if (p && cell == p->cell) {
            mark = QStringLiteral("player");
            color = kPlayerColor;
        } else if (p && cell == p->bestCell) {
            mark = QStringLiteral("best");
            color = kBestColor;
        }
        m_frames[cell]->setProperty("mark", mark);
        QPalette pal = m_frames[cell]->palette();
        pal.setColor(QPalette::Window, color);
        m_frames[cell]->setPalette(pal);
        m_cells[cell]->setAccessibleName(cellName(cell) + QStringLiteral(": ")
                                         + QString::fromStdString(notation::spokenName(code))
                                         + (mark.isEmpty() ? QString() : QStringLiteral(", ") + mark));
    }
    if (!ready) {
        clearCell(m_card);
        m_stepText->setText(QStringLiteral("Working out the review…"));
        m_judgement->clear();
        m_summary->clear();
        return;
    }
    const review::Placement &p = m_result->placements[m_step];
    showCard(m_card, m_cards, p.card);
    m_card->setAccessibleName(QStringLiteral("Card to place: ") + QString::fromStdString(notation::spokenName(p.card)));
    m_stepText->setText(QStringLiteral("Card %1 of %2: the %3")
                            .arg(m_step + 1)
                            .arg(review::kCards)
                            .arg(QString::fromStdString(notation::spokenName(p.card))));
    QString judgement = QStringLiteral("You put it on %1 (expected round %2).\n").arg(cellName(p.cell), points(p.expected));
    if (p.cell == p.bestCell)
        judgement += QStringLiteral("That is the advisor's best cell.\n");
    else
        judgement += QStringLiteral("The advisor's best: %1 (expected %2).\n").arg(cellName(p.bestCell),
                                                                                    points(p.bestExpected));
    judgement += QStringLiteral("Points lost: %1, %2.").arg(points(p.lost), markText(p.mark));
    m_judgement->setText(judgement);
    m_summary->setText(QStringLiteral("Your round: %1, expected points lost %2.\n"
                                      "The advisor on these very cards made %3.")
                           .arg(m_result->score)
                           .arg(points(m_result->totalLost))
                           .arg(m_result->advisorScore));
}

void ReviewWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier && m_result) {
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up) {
            showStep(m_step - 1);
            return;
        }
        if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down) {
            showStep(m_step + 1);
            return;
        }
    }
    SecondaryWindow::keyPressEvent(event);
}

void ReviewWindow::closeEvent(QCloseEvent *event)
{
    // A review still being worked out stops; one already done is kept for
    // the next look.
    if (!m_result) {
        stopWorker();
        ++m_generation;
    }
    SecondaryWindow::closeEvent(event);
}
