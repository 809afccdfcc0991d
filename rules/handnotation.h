#pragma once

#include "linescore.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// Cards written as a rank (A, 2 … 10 or T, J, Q, K) and a suit (C, D, H, S),
// without regard to case: "5C", "10h", "TD", "js".
namespace notation {

// The card code of one card, or nothing when the text is not a card.
std::optional<int> parseCard(std::string_view text);

// The canonical spelling of a card code ("5C", "10H", "JS"); "?" for a
// value that is not a card.
std::string cardName(int code);

// A card as it is said aloud ("queen of hearts"); "empty" for no card.
std::string spokenName(int code);

// A hand of five cards with the starter last, or the reason it is not one.
struct ParsedHand {
    std::array<int, scoring::kHandSize> codes{};
    std::string error;  // empty when the hand is good
};

// Splits `line` at blanks and reads five distinct cards. Errors name the
// problem: an unknown card, the wrong number of cards, or a card given twice.
ParsedHand parseHand(std::string_view line);

// "nob N sets N runs N flush N fifteens N total N" for a good hand; the
// starter (the last card) decides the nob's suit.
std::string describeScore(const std::array<int, scoring::kHandSize> &codes);

} // namespace notation
