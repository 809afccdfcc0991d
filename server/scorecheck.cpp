#include "scorecheck.h"

#include <cstddef>
#include <cstdio>
#include <optional>

namespace {

constexpr std::size_t kMaxScoreDigits = 6; // enough for kMaxScore once leading zeros are gone

// Decodes one UTF-8 sequence at `at`, advancing it; nullopt for anything
// that is not the shortest form of a scalar value.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t &at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    at += length;
    return value;
}

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// Spaces of every script, which are fine between letters but would make a
// name of nothing else look empty on the list.
bool isBlank(char32_t c)
{
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F
        || c == 0x205F || c == 0x2800 || c == 0x3000;
}

// Characters that show nothing themselves or reorder the text around them.
// In a name on the public list they would let one player pass for another
// (an invisible mark makes a second "Robin"), make a name look empty, or
// make it read as other text than it holds (after U+202E, "62/8/21" reads
// "12/8/26").
bool isInvisibleOrDirectional(char32_t c)
{
    const auto in = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    return c == 0x00AD                 // soft hyphen
        || c == 0x034F                 // combining grapheme joiner
        || c == 0x061C                 // Arabic letter mark
        || in(0x115F, 0x1160)          // Hangul fillers
        || in(0x17B4, 0x17B5)          // Khmer inherent vowels
        || in(0x180B, 0x180F)          // Mongolian variation selectors and vowel separator
        || in(0x200B, 0x200F)          // zero-width space, joiners, direction marks
        || in(0x2028, 0x202E)          // line and paragraph separators, direction embeddings
        || in(0x2060, 0x206F)          // word joiner, invisible operators, direction isolates
        || c == 0x3164                 // Hangul filler
        || in(0xFE00, 0xFE0F)          // variation selectors
        || c == 0xFEFF                 // zero-width no-break space
        || c == 0xFFA0                 // halfwidth Hangul filler
        || in(0xFFF9, 0xFFFB)          // interlinear annotation marks
        || in(0x1BCA0, 0x1BCA3)        // shorthand format controls
        || in(0x1D173, 0x1D17A)        // musical formatting marks
        || in(0xE0000, 0xE007F)        // tag characters
        || in(0xE0100, 0xE01EF);       // variation selectors supplement
}

// The game takes its date separator from the player's locale, and the
// Arabic short date format puts a right-to-left mark before each slash, so
// games there send the mark alone as the separator: "12<RLM>8<RLM>26". A
// lone mark between digits is still taken; the digits of the date, in its
// own cell of the list, are all it can reorder.
bool isDirectionMark(char32_t c)
{
    return c == 0x200E || c == 0x200F || c == 0x061C;
}

std::string codePointName(char32_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

std::string invisibleProblem(const char *field, char32_t c)
{
    return std::string("The ") + field + " holds " + codePointName(c)
        + ", a character that is invisible or changes the direction of the text.";
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads 1 to `most` digits at `at`; -1 when there are none or too many.
int readNumber(std::string_view text, std::size_t &at, std::size_t most)
{
    int value = 0;
    std::size_t count = 0;
    while (at < text.size() && isDigit(text[at])) {
        if (++count > most)
            return -1;
        value = value * 10 + (text[at++] - '0');
    }
    return count == 0 ? -1 : value;
}

int daysInMonth(int month, int year)
{
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The separator at `at` as its UTF-8 bytes, advancing past it; empty when
// it is not one printable non-digit character.
std::string_view readSeparator(std::string_view text, std::size_t &at)
{
    if (at >= text.size() || isDigit(text[at]))
        return {};
    const std::size_t start = at;
    const auto c = nextCodePoint(text, at);
    if (!c || isControl(*c))
        return {};
    return text.substr(start, at - start);
}

std::string scoreProblem(std::string_view text, int &value)
{
    if (text.empty())
        return "The score is empty.";
    for (char c : text) {
        if (!isDigit(c))
            return "The score must be a whole number written with the digits 0 to 9 only.";
    }
    // Leading zeros are dropped before the length is bounded, so no text is
    // ever converted that could overflow.
    std::size_t first = text.find_first_not_of('0');
    if (first == std::string_view::npos)
        first = text.size() - 1;
    const std::string_view digits = text.substr(first);
    if (digits.size() > kMaxScoreDigits)
        return "The score is larger than " + std::to_string(kMaxScore) + ".";
    value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    if (value > kMaxScore)
        return "The score is larger than " + std::to_string(kMaxScore) + ".";
    return {};
}

} // namespace

std::string nameProblem(std::string_view name)
{
    if (name.empty())
        return "The name is empty.";
    int count = 0;
    bool onlyBlanks = true;
    for (std::size_t at = 0; at < name.size();) {
        const auto c = nextCodePoint(name, at);
        if (!c)
            return "The name is not valid UTF-8 text.";
        if (isControl(*c))
            return "The name holds a control character.";
        if (isInvisibleOrDirectional(*c))
            return invisibleProblem("name", *c);
        if (++count > kMaxNameCodePoints)
            return "The name is longer than " + std::to_string(kMaxNameCodePoints) + " characters.";
        onlyBlanks = onlyBlanks && isBlank(*c);
    }
    if (onlyBlanks)
        return "The name is only blanks.";
    return {};
}

std::string dateProblem(std::string_view date)
{
    constexpr const char *kShape = "The date must be month, day and a two-digit year, such as 12/8/26.";
    // Looked for anywhere, not only where a separator stands, so the
    // reason is the real one; text that is not UTF-8 is left to the shape check.
    for (std::size_t at = 0; at < date.size();) {
        const std::size_t start = at;
        const auto c = nextCodePoint(date, at);
        if (!c)
            break;
        const bool betweenDigits = start > 0 && isDigit(date[start - 1]) && at < date.size() && isDigit(date[at]);
        if (isInvisibleOrDirectional(*c) && !(isDirectionMark(*c) && betweenDigits))
            return invisibleProblem("date", *c);
    }
    std::size_t at = 0;
    const int month = readNumber(date, at, 2);
    if (month < 0)
        return kShape;
    const std::string_view separator = readSeparator(date, at);
    if (separator.empty())
        return kShape;
    const int day = readNumber(date, at, 2);
    if (day < 0)
        return kShape;
    if (date.substr(at, separator.size()) != separator)
        return "The date must use the same separator twice, such as 12/8/26.";
    at += separator.size();
    const std::size_t yearAt = at;
    const int year = readNumber(date, at, 2);
    if (year < 0 || at - yearAt != 2 || at != date.size())
        return kShape;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(month, 2000 + year))
        return "The date is not a real calendar date.";
    return {};
}

ScoreCheck checkScoreFields(const ScoreFields &fields)
{
    ScoreCheck check;
    check.error = nameProblem(fields.name);
    if (check.error.empty())
        check.error = scoreProblem(fields.score, check.score.score);
    if (check.error.empty())
        check.error = dateProblem(fields.date);
    if (check.ok()) {
        check.score.name = fields.name;
        check.score.date = fields.date;
    }
    return check;
}
