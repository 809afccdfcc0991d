// The board: clearing it, shuffling and dealing, placing cards.
#include "mainform.h"

#include "boardpanels.h"

#include "cardslot.h"
#include "handnotation.h"
#include "controls.h"
#include "imagecontrol.h"
#include "taglabel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <utility>
#include <vector>

namespace {
constexpr int kBoardSize = 5;  // rows and columns 1 … 5, the fifth holding the starter
constexpr int kPlayedSize = square::kSide;  // rows and columns a player fills

// The spoken name of a card code, "queen of hearts"; "empty" for no card.
QString spokenCard(int code)
{
    return QString::fromStdString(notation::spokenName(code));
}

// Row and column (1 … 4) of a cell a player fills, from its name; false
// for any other widget.
bool playedCell(const QWidget *w, int &row, int &column)
{
    if (!qobject_cast<const ImageControl *>(w))
        return false;
    const QString name = w->objectName();
    if (name.size() != 7 || !name.startsWith(QLatin1String("card_")))
        return false;
    row = name.at(5).digitValue();
    column = name.at(6).digitValue();
    return row >= 1 && row <= kPlayedSize && column >= 1 && column <= kPlayedSize;
}
}

int Tmain::getsuit(int code) const
{
    return cards::getsuit(code);
}

ImageControl *Tmain::cell(int row, int column) const
{
    return findControl<ImageControl>(this, QStringLiteral("card_%1%2").arg(row).arg(column));
}

void Tmain::clearall()
{
    for (int row = 1; row <= kBoardSize; ++row)
        for (int column = 1; column <= kBoardSize; ++column)
            clearCell(cell(row, column));
    for (int line : square::kLineNumbers)
        findControl<TagLabel>(this, QStringLiteral("label_linescore%1").arg(line))->setText(QString());
    auto *score = findControl<TagLabel>(this, QStringLiteral("label_score"));
    score->setText(QStringLiteral("0"));
    score->setTag(0);
    dismissHint();
    // The review of the round just scored stays in the View menu.
    findControl<QWidget>(this, QStringLiteral("button_review"))->hide();
    describeBoard();
}

void Tmain::showNextCard()
{
    // A new card waits (or the round is over): a hint was for the one before.
    dismissHint();
    showCard(m_nextcard, m_cards, m_deck.current());
    refreshHintAction();
    describeBoard();
}

void Tmain::shufflecards()
{
    // The generator's state here fixes the round's deal and starter: with
    // the cells the cards go to, it is the round a review replays.
    m_roundSeed = m_random.seed();
    m_roundCells.fill(-1);
    m_deck.shuffle(m_random);
    showNextCard();
}

void Tmain::card_11Click(ImageControl *clicked)
{
    if (clicked->tag() != cards::kNoCard) {
        playsounds(QStringLiteral("invalid"));
        return;
    }
    int row = 0;
    int column = 0;
    if (!m_gameInProgress || !playedCell(clicked, row, column) || !m_round.place(square::cellOf(row, column), m_deck.current()))
        return;
    playsounds(QStringLiteral("cardclick"));
    m_roundCells[m_deck.dealPosition() - 1] = square::cellOf(row, column);
    showCard(clicked, m_cards, m_deck.current());
    m_deck.advance();
    showNextCard();
    if (m_round.isFull())
        endgame();
}

void Tmain::describeBoard()
{
    for (int row = 1; row <= kBoardSize; ++row) {
        for (int column = 1; column <= kBoardSize; ++column) {
            ImageControl *c = cell(row, column);
            const QString place = row == kBoardSize && column == kBoardSize ? QStringLiteral("Starter")
                                  : row == kBoardSize ? QStringLiteral("Column %1 starter").arg(column)
                                  : column == kBoardSize ? QStringLiteral("Row %1 starter").arg(row)
                                                         : QStringLiteral("Row %1, column %2").arg(row).arg(column);
            const bool advised = row <= kPlayedSize && column <= kPlayedSize
                                 && m_hintCell == square::cellOf(row, column);
            c->setAccessibleName(place + QStringLiteral(": ") + spokenCard(c->tag())
                                 + (advised ? QStringLiteral(", advised") : QString()));
        }
    }
    const bool starterShown = cards::getsuit(cell(kBoardSize, kBoardSize)->tag()) != 0;
    m_nextcard->setAccessibleName((starterShown ? QStringLiteral("Starter: ") : QStringLiteral("Next card: "))
                                  + (m_gameInProgress || starterShown ? spokenCard(m_nextcard->tag())
                                                                      : QStringLiteral("none")));
    for (int line : square::kLineNumbers) {
        auto *l = findControl<TagLabel>(this, QStringLiteral("label_linescore%1").arg(line));
        const QString what = square::isRow(line) ? QStringLiteral("Row %1 score").arg(line)
                                                 : QStringLiteral("Column %1 score").arg(line - square::kSide - 1);
        l->setAccessibleName(what + QStringLiteral(": ")
                             + (l->text().isEmpty() ? QStringLiteral("none") : l->text()));
    }
    for (const auto &[name, caption] : {std::pair{"label_score", "Hands total"}, std::pair{"label_total", "Running total"},
                                        std::pair{"label_rounds", "Rounds played"}}) {
        auto *l = findControl<TagLabel>(this, QString::fromLatin1(name));
        l->setAccessibleName(QString::fromLatin1(caption) + QStringLiteral(": ") + l->text());
    }
}

void Tmain::setUpKeyboard()
{
    for (int line : square::kLineNumbers)
        findControl<TagLabel>(this, QStringLiteral("label_linescore%1").arg(line))->setFocusPolicy(Qt::TabFocus);
    for (const BoardPanel &keys : kBoardPanels)
        findControl<QWidget>(this, QString::fromLatin1(keys.name))->installEventFilter(this);
    // Start hides itself when pressed; Qt would pass the focus on to the
    // next cell as if by Tab, framing it for a mouse player.
    findControl<QWidget>(this, QStringLiteral("button_start"))->installEventFilter(this);
    orderTabStops();
    describeBoard();
}

void Tmain::orderTabStops()
{
    // Tab goes from the board to the line scores, then to the buttons and
    // what the panels hold (in the order they were built), and last to the
    // footer link. Cells come first only so that the chain has the board at
    // its head; Tab treats all sixteen as one stop (focusNextPrevChild).
    QWidget *footer = findControl<QWidget>(this, QStringLiteral("image_logo"));
    std::vector<QWidget *> cells;
    std::vector<QWidget *> lineScores;
    std::vector<QWidget *> rest;
    QWidget *w = this;
    // Bounded by the number of widgets: the chain is a ring.
    const auto limit = findChildren<QWidget *>().size() + 1;
    for (qsizetype i = 0; i < limit; ++i) {
        w = w->nextInFocusChain();
        if (w == this)
            break;
        int row = 0;
        int column = 0;
        if (!(w->focusPolicy() & Qt::TabFocus) || w == footer)
            continue;
        if (playedCell(w, row, column))
            cells.push_back(w);
        else if (!isLineScore(w))
            rest.push_back(w);
    }
    for (int line : square::kLineNumbers)
        lineScores.push_back(findControl<QWidget>(this, QStringLiteral("label_linescore%1").arg(line)));
    std::vector<QWidget *> order;
    for (const auto *group : {&cells, &lineScores, &rest})
        order.insert(order.end(), group->begin(), group->end());
    order.push_back(footer);
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

bool Tmain::isLineScore(const QWidget *w) const
{
    for (int line : square::kLineNumbers)
        if (w == findControl<QWidget>(this, QStringLiteral("label_linescore%1").arg(line)))
            return true;
    return false;
}

QWidget *Tmain::boardEntryCell() const
{
    // The first empty cell the player can reach; on a full board (or one
    // whose empty cells a panel covers) the first reachable cell.
    QWidget *firstReachable = nullptr;
    for (int row = 1; row <= kPlayedSize; ++row) {
        for (int column = 1; column <= kPlayedSize; ++column) {
            ImageControl *c = cell(row, column);
            if (!c->isVisible() || !c->isEnabled() || covered(c))
                continue;
            if (cards::getsuit(c->tag()) == 0)
                return c;
            if (!firstReachable)
                firstReachable = c;
        }
    }
    return firstReachable;
}

bool Tmain::eventFilter(QObject *watched, QEvent *event)
{
    auto *panel = qobject_cast<QWidget *>(watched);
    // A panel over the board takes the hint away while it shows. The
    // "to parent" events come also while the window itself is hidden.
    if (panel && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        refreshHintAction();
    // Only a panel the program shows or hides counts: the window being
    // minimised or hidden leaves the focus where it is.
    if (!panel || event->spontaneous() || (event->type() != QEvent::Show && event->type() != QEvent::Hide))
        return QMainWindow::eventFilter(watched, event);
    QWidget *focus = focusWidget();
    const bool focusInside = focus && (focus == panel || panel->isAncestorOf(focus));
    if (event->type() == QEvent::Hide) {
        // Qt would leave the focus on a hidden box when nothing else in the
        // window takes it. It goes back where it was before the panel asked
        // for it, if that can still take keys; else to the board.
        const QPointer<QWidget> before = m_focusBefore.take(panel);
        if (focusInside && panel->isHidden()) {
            const bool reachable = before && before->isVisible() && before->isEnabled() && before != panel
                                   && !panel->isAncestorOf(before) && !covered(before);
            // As after a popup: a control framed by the keys before the
            // panel came is framed again (a line score after Escape on its
            // breakdown), one the mouse chose is not.
            (reachable ? before.data() : findControl<QWidget>(this, QStringLiteral("panel_board")))
                ->setFocus(Qt::PopupFocusReason);
        }
        // An update offer held back while the name panel asked comes now.
        if (panel->objectName() == QLatin1String("panel_name") && panel->isHidden() && m_pendingOffer.size() == 2) {
            // A copy: showing the offer clears the one held back.
            const QStringList offer = m_pendingOffer;
            showUpdateOffer(offer.at(0), offer.at(1));
        }
    } else if (!focusInside && panel->objectName() != QLatin1String("button_start")) {
        m_focusBefore.insert(panel, focus);
        // A panel shown asks for an answer: its first box or button takes
        // the focus, so the keyboard answers it. One without any (the
        // posting wait) takes it off what it covers, so Enter cannot press
        // a button hidden under it.
        bool moved = false;
        const auto children = panel->findChildren<QWidget *>();
        for (QWidget *w : children) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(panel) && w->isEnabled()) {
                w->setFocus(Qt::OtherFocusReason);
                moved = true;
                break;
            }
        }
        if (!moved && focus && covered(focus))
            findControl<QWidget>(this, QStringLiteral("panel_board"))->setFocus(Qt::OtherFocusReason);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Tmain::covered(const QWidget *w) const
{
    if (!w || !isAncestorOf(w))
        return false;
    const QRect area(w->mapTo(this, QPoint(0, 0)), w->size());
    for (const BoardPanel &keys : kBoardPanels) {
        const QWidget *panel = findControl<QWidget>(this, QString::fromLatin1(keys.name));
        // Panels lie above the board and above the panel holding them.
        if (panel->isVisible() && panel != w && !panel->isAncestorOf(w)
            && QRect(panel->mapTo(this, QPoint(0, 0)), panel->size()).intersects(area))
            return true;
    }
    return false;
}

bool Tmain::focusNextPrevChild(bool next)
{
    QWidget *from = focusWidget();
    int row = 0;
    int column = 0;
    const bool fromBoard = playedCell(from, row, column);
    const auto reachable = [this, fromBoard](QWidget *w) {
        int r = 0;
        int c = 0;
        return w != this && isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible()
               && w->isEnabled() && !covered(w) && !(fromBoard && playedCell(w, r, c));
    };
    // Walks the chain without moving the focus on the way, so nothing in
    // between announces itself to a screen reader. Bounded by the number of
    // widgets, so a window where everything is covered cannot loop.
    const auto limit = findChildren<QWidget *>().size() + 1;
    QWidget *w = from ? from : this;
    for (qsizetype i = 0; i < limit; ++i) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!reachable(w))
            continue;
        // The board is one stop: it is entered at its first empty cell, and
        // the arrow keys move within it.
        if (playedCell(w, row, column))
            w = boardEntryCell();
        if (!w)
            return false;
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return false;
}

void Tmain::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    QWidget *focus = focusWidget();
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }

    // Enter and Escape: the panel holding the focus answers, else the
    // topmost visible one.
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        const BoardPanel *target = nullptr;
        for (const BoardPanel &keys : kBoardPanels) {
            QWidget *panel = findControl<QWidget>(this, QString::fromLatin1(keys.name));
            if (panel->isVisible() && focus && (focus == panel || panel->isAncestorOf(focus)))
                target = &keys;
        }
        if (!target) {
            for (const BoardPanel &keys : kBoardPanels) {
                if (findControl<QWidget>(this, QString::fromLatin1(keys.name))->isVisible()) {
                    target = &keys;
                    break;
                }
            }
        }
        const bool escape = key == Qt::Key_Escape;
        const auto action = target ? (escape ? target->escape : target->enter) : nullptr;
        const char *button = target ? (escape ? target->escapeButton : target->enterButton) : nullptr;
        if (action && findControl<QWidget>(this, QString::fromLatin1(button))->isVisible() && !event->isAutoRepeat()) {
            (this->*action)();
            return;
        }
        QMainWindow::keyPressEvent(event);
        return;
    }

    // Arrows: from a cell to its neighbour (no wrapping); from the board
    // or the window into the first cell. In a panel they do nothing here.
    int dr = 0;
    int dc = 0;
    switch (key) {
    case Qt::Key_Left: dc = -1; break;
    case Qt::Key_Right: dc = 1; break;
    case Qt::Key_Up: dr = -1; break;
    case Qt::Key_Down: dr = 1; break;
    default: QMainWindow::keyPressEvent(event); return;
    }
    int row = 0;
    int column = 0;
    QWidget *board = findControl<QWidget>(this, QStringLiteral("panel_board"));
    if (playedCell(focus, row, column)) {
        row = std::clamp(row + dr, 1, kPlayedSize);
        column = std::clamp(column + dc, 1, kPlayedSize);
    } else if (!focus || focus == this || focus == m_client || focus == board) {
        row = 1;
        column = 1;
    } else {
        QMainWindow::keyPressEvent(event);
        return;
    }
    // A key moved it: the cell shows the focus frame. A cell under a
    // panel is out of reach, as for the mouse.
    if (!covered(cell(row, column)))
        cell(row, column)->setFocus(Qt::TabFocusReason);
}
