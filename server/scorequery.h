#pragma once

#include <optional>
#include <string>
#include <string_view>

// The three texts of a score posting, percent-decoded but not yet checked.
struct ScoreFields {
    std::string name;
    std::string date;
    std::string score;
};

// A parsed posting query: the fields, or what was wrong with the query.
struct ScoreQuery {
    ScoreFields fields;
    std::string error; // empty when the query was understood

    bool ok() const { return error.empty(); }
};

// Decodes %XX escapes and nothing else ("+" stays "+"); nullopt when a "%"
// is not followed by two hex digits.
std::optional<std::string> percentDecode(std::string_view text);

// Splits the raw (still escaped) query of a score posting into its fields.
// The game writes "name=N&date=D&score=S" without escaping the name, so a
// query of that shape is split at the last "&score=" and the last "&date="
// before it; any other query is read as an ordinary form in which name,
// date and score must each appear exactly once.
ScoreQuery parseScoreQuery(std::string_view rawQuery);
