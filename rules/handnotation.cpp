#include "handnotation.h"

#include "cards.h"

#include <cctype>
#include <sstream>
#include <vector>

namespace notation {

namespace {

constexpr std::string_view kSuits = "CDHS";
const char *const kRanks[cards::kRanksPerSuit] = {"A", "2", "3", "4", "5", "6", "7",
                                                  "8", "9", "10", "J", "Q", "K"};

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::optional<int> parseCard(std::string_view text)
{
    if (text.size() < 2 || text.size() > 3)
        return std::nullopt;
    const std::string card = upper(text);
    const std::size_t suit = kSuits.find(card.back());
    if (suit == std::string_view::npos)
        return std::nullopt;
    std::string rank = card.substr(0, card.size() - 1);
    if (rank == "T")
        rank = "10";
    for (int r = 0; r < cards::kRanksPerSuit; ++r)
        if (rank == kRanks[r])
            return static_cast<int>(suit) * cards::kRanksPerSuit + r + 1;
    return std::nullopt;
}

std::string cardName(int code)
{
    if (cards::getsuit(code) == 0)
        return "?";
    return std::string(kRanks[cards::rankIndex(code)]) + kSuits[cards::getsuit(code) - 1];
}

ParsedHand parseHand(std::string_view line)
{
    ParsedHand hand;
    std::istringstream in{std::string(line)};
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    if (words.size() != scoring::kHandSize) {
        hand.error = "expected 5 cards (4 and the starter), got " + std::to_string(words.size());
        return hand;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto code = parseCard(words[i]);
        if (!code) {
            hand.error = "unknown card '" + words[i] + "'";
            return hand;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (hand.codes[j] == *code) {
                hand.error = cardName(*code) + " appears twice";
                return hand;
            }
        }
        hand.codes[i] = *code;
    }
    return hand;
}

std::string describeScore(const std::array<int, scoring::kHandSize> &codes)
{
    const int starterSuit = cards::getsuit(codes[scoring::kHandSize - 1]);
    const scoring::LineBreakdown b = scoring::scoreHand(scoring::Hand::fromCodes(codes), starterSuit);
    std::ostringstream out;
    out << "nob " << b.points[scoring::Nob] << " sets " << b.points[scoring::Sets] << " runs "
        << b.points[scoring::Runs] << " flush " << b.points[scoring::Flush] << " fifteens "
        << b.points[scoring::Fifteens] << " total " << b.total();
    return out.str();
}

std::string spokenName(int code)
{
    static const char *const kRanks[cards::kRanksPerSuit] = {"ace", "two",   "three", "four", "five",
                                                              "six", "seven", "eight", "nine", "ten",
                                                              "jack", "queen", "king"};
    static const char *const kSuits[] = {"clubs", "diamonds", "hearts", "spades"};
    const int suit = cards::getsuit(code);
    if (suit == 0)
        return "empty";
    return std::string(kRanks[cards::rankIndex(code)]) + " of " + kSuits[suit - 1];
}

} // namespace notation
