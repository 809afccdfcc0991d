#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace online {

// A version text of dotted decimal numbers ("1.0.2"), as the vendor
// publishes it. Numbers are compared as numbers ("1.10" is after "1.9"),
// however many digits they have, and missing trailing numbers count as 0
// ("1.0" equals "1.0.0").
class DottedVersion {
public:
    static constexpr std::size_t kMaxTextLength = 64;

    // The version a published text names: the numbers, with at most one
    // line break (and blanks) after them, as an editor or `echo` leaves.
    // None for anything else: a letter, an empty number, a sign, a text
    // longer than kMaxTextLength.
    static std::optional<DottedVersion> parse(std::string_view text);

    // The version as the text wrote it, without what followed the numbers.
    const std::string &text() const { return m_text; }

    // <0, 0 or >0 as this version is older than, equal to or newer than `other`.
    int compare(const DottedVersion &other) const;

private:
    std::string m_text;
    std::vector<std::string> m_numbers; // decimal digits, no leading zeros ("0" for zero)
};

} // namespace online
