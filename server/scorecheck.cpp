#include "scorecheck.h"

#include <cstddef>
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

// Spaces of every script, and the invisible characters that would make a
// name look empty on the list.
bool isBlank(char32_t c)
{
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F
        || c == 0x205F || c == 0x3000 || c == 0xFEFF;
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
