#include "settingsvalue.h"

#include <cctype>
#include <charconv>
#include <string_view>

namespace platform {

namespace {

constexpr std::size_t kHexPrefixLength = 2;
constexpr int kHexBase = 16;
constexpr int kDecimalBase = 10;

// The whole of `digits` as a number in `base`, or nothing. from_chars
// reports out-of-range values, so overflow can never wrap.
bool parseWhole(std::string_view digits, int base, int &result)
{
    const char *const end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, result, base);
    return error == std::errc() && stop == end;
}

bool startsWithDigit(std::string_view text, int base)
{
    if (text.empty())
        return false;
    const auto c = static_cast<unsigned char>(text.front());
    return base == kHexBase ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
}

} // namespace

int parseSettingInt(const std::string &value, int fallback)
{
    std::string_view text = value;
    int base = kDecimalBase;
    // from_chars accepts a '-' of its own but knows no prefix and no '+';
    // after stripping either, a digit must follow, or "0x-5" and "+-5"
    // would slip through as negative numbers.
    bool digitMustFollow = false;
    if (text.size() > kHexPrefixLength && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(kHexPrefixLength);
        base = kHexBase;
        digitMustFollow = true;
    } else if (text.starts_with('+')) {
        text.remove_prefix(1);
        digitMustFollow = true;
    }
    if (digitMustFollow && !startsWithDigit(text, base))
        return fallback;

    int result = 0;
    return parseWhole(text, base, result) ? result : fallback;
}

} // namespace platform
