#pragma once

#include "scorequery.h"
#include "scoretable.h"
#include "vendorpaths.h"

#include <string>
#include <string_view>

using vendor::kMaxNameCodePoints;
constexpr int kMaxScore = 100000;

// A checked posting: the score to store, or a sentence saying what was wrong.
struct ScoreCheck {
    NewScore score;
    std::string error; // empty when the posting is good

    bool ok() const { return error.empty(); }
};

// Why `name` is no good, or an empty text when it is: valid UTF-8 of 1 to 32
// code points without control, invisible or direction-changing characters
// and not only blanks.
std::string nameProblem(std::string_view name);

// Why `date` is no good, or an empty text when it is: month, day and
// two-digit year of a real calendar date with one separator used twice, and
// nothing invisible or direction-changing in it but a lone direction mark as
// the separator (what games in Arabic locales send).
std::string dateProblem(std::string_view date);

// Checks the three decoded fields of a posting.
ScoreCheck checkScoreFields(const ScoreFields &fields);
