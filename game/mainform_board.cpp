// The board: clearing it, shuffling and dealing, placing cards.
#include "mainform.h"

#include "cardslot.h"
#include "controls.h"
#include "imagecontrol.h"
#include "taglabel.h"

namespace {
constexpr int kBoardSize = 5;  // rows and columns 1 … 5, the fifth holding the starter
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
    m_breakdown = {};
    for (int row = 1; row <= kBoardSize; ++row)
        for (int column = 1; column <= kBoardSize; ++column)
            clearCell(cell(row, column));
    for (int line = 1; line <= 9; ++line) {
        if (line == 5)
            continue;
        findControl<TagLabel>(this, QStringLiteral("label_linescore%1").arg(line))->setText(QString());
    }
    auto *score = findControl<TagLabel>(this, QStringLiteral("label_score"));
    score->setText(QStringLiteral("0"));
    score->setTag(0);
}

void Tmain::showNextCard()
{
    showCard(m_nextcard, m_cards, m_deck.current());
}

void Tmain::shufflecards()
{
    m_deck.shuffle(m_random);
    showNextCard();
}

void Tmain::card_11Click(ImageControl *clicked)
{
    if (clicked->tag() != cards::kNoCard) {
        playsounds(QStringLiteral("invalid"));
        return;
    }
    if (!m_gameInProgress)
        return;
    playsounds(QStringLiteral("cardclick"));
    showCard(clicked, m_cards, m_nextcard->tag());
    m_deck.advance();
    showNextCard();
    if (m_deck.dealPosition() > Deck::kBoardCards) {
        m_starterSuit = cards::getsuit(m_deck.at(Deck::kStarterPosition));
        endgame();
    }
}
