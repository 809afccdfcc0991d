#pragma once

#include "cards.h"

#include <array>

class LcgRandom;

// The deck of 52 cards, positions 1 … 52 in dealing order, and the deal
// position (the deck position of the card shown as the next card).
// Positions 1 … 16 go onto the board; position 17 is the starter.
class Deck {
public:
    static constexpr int kBoardCards = 16;
    static constexpr int kStarterPosition = 17;

    Deck();

    // Deals the codes 1 … 52 to random positions: each code in turn draws a
    // position, drawing again while that position is taken. Resets the deal
    // position to 1.
    void shuffle(LcgRandom &random);

    // Card at deck position 1 … 52; 0 for any other position or before the
    // first shuffle.
    int at(int position) const;

    int dealPosition() const { return m_dealPosition; }
    void advance() { ++m_dealPosition; }
    int current() const { return at(m_dealPosition); }

private:
    std::array<int, cards::kCardCount + 1> m_cards{};  // index 0 unused
    int m_dealPosition = 1;
};
