#include "dottedversion.h"

#include <algorithm>

namespace online {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmedEnd(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int compareNumbers(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

} // namespace

std::optional<DottedVersion> DottedVersion::parse(std::string_view text)
{
    if (text.size() > kMaxTextLength)
        return std::nullopt;
    text = trimmedEnd(text);
    if (!text.empty() && text.back() == '\n')
        text = trimmedEnd(text.substr(0, text.size() - 1));
    DottedVersion version;
    version.m_text = text;
    for (;;) {
        const std::size_t dot = text.find('.');
        std::string_view number = text.substr(0, dot);
        if (number.empty() || !std::all_of(number.begin(), number.end(), isDigit))
            return std::nullopt;
        while (number.size() > 1 && number.front() == '0')
            number.remove_prefix(1);
        version.m_numbers.emplace_back(number);
        if (dot == std::string_view::npos)
            return version;
        text.remove_prefix(dot + 1);
    }
}

int DottedVersion::compare(const DottedVersion &other) const
{
    static const std::string kZero = "0";
    const std::size_t count = std::max(m_numbers.size(), other.m_numbers.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string &mine = i < m_numbers.size() ? m_numbers[i] : kZero;
        const std::string &theirs = i < other.m_numbers.size() ? other.m_numbers[i] : kZero;
        if (const int order = compareNumbers(mine, theirs); order != 0)
            return order;
    }
    return 0;
}

} // namespace online
