#include "scorequery.h"

#include <array>

namespace {

constexpr std::string_view kNameStart = "name=";
constexpr std::string_view kDateMark = "&date=";
constexpr std::string_view kScoreMark = "&score=";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

ScoreQuery decodedFields(std::string_view name, std::string_view date, std::string_view score)
{
    ScoreQuery result;
    auto decodedName = percentDecode(name);
    auto decodedDate = percentDecode(date);
    auto decodedScore = percentDecode(score);
    if (!decodedName || !decodedDate || !decodedScore) {
        result.error = "The query has a broken %-escape (a \"%\" must be followed by two hex digits).";
        return result;
    }
    result.fields = {std::move(*decodedName), std::move(*decodedDate), std::move(*decodedScore)};
    return result;
}

// The game's own shape: the name runs up to the "&date=" that belongs to
// the last "&score=", because neither a valid date nor a valid score can
// hold an "&".
std::optional<ScoreQuery> parseGameShape(std::string_view query)
{
    if (!query.starts_with(kNameStart))
        return std::nullopt;
    const std::size_t scoreAt = query.rfind(kScoreMark);
    if (scoreAt == std::string_view::npos || scoreAt < kNameStart.size() + kDateMark.size())
        return std::nullopt;
    const std::size_t dateAt = query.rfind(kDateMark, scoreAt - kDateMark.size());
    if (dateAt == std::string_view::npos || dateAt < kNameStart.size())
        return std::nullopt;
    const std::size_t dateStart = dateAt + kDateMark.size();
    return decodedFields(query.substr(kNameStart.size(), dateAt - kNameStart.size()),
                         query.substr(dateStart, scoreAt - dateStart),
                         query.substr(scoreAt + kScoreMark.size()));
}

ScoreQuery parseForm(std::string_view query)
{
    constexpr std::array<std::string_view, 3> keys = {"name", "date", "score"};
    std::array<std::optional<std::string_view>, 3> values;
    ScoreQuery result;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const auto key = percentDecode(pair.substr(0, eq));
        if (!key) {
            result.error = "The query has a broken %-escape (a \"%\" must be followed by two hex digits).";
            return result;
        }
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (*key != keys[k])
                continue;
            if (values[k]) {
                result.error = "The query gives \"" + std::string(keys[k]) + "\" more than once.";
                return result;
            }
            values[k] = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        }
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (!values[k]) {
            result.error = "The query has no \"" + std::string(keys[k]) + "\".";
            return result;
        }
    }
    return decodedFields(*values[0], *values[1], *values[2]);
}

} // namespace

std::optional<std::string> percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (text.size() - i < 3)
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

ScoreQuery parseScoreQuery(std::string_view rawQuery)
{
    if (auto fields = parseGameShape(rawQuery))
        return std::move(*fields);
    return parseForm(rawQuery);
}
