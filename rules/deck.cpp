#include "deck.h"

#include "lcgrandom.h"

Deck::Deck() = default;

void Deck::shuffle(LcgRandom &random)
{
    m_cards.fill(cards::kNoCard);
    for (int code = 1; code <= cards::kCardCount; ++code) {
        for (;;) {
            const int position = static_cast<int>(random.draw(cards::kCardCount)) + 1;
            if (m_cards[position] == cards::kNoCard) {
                m_cards[position] = code;
                break;
            }
        }
    }
    m_dealPosition = 1;
}

int Deck::at(int position) const
{
    if (position < 1 || position > cards::kCardCount)
        return cards::kNoCard;
    return m_cards[position];
}
