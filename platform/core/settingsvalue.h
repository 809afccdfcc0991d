#pragma once

#include <string>

namespace platform {

// Reads a whole-number setting stored as text. A value longer than two
// characters that starts with "0x" or "0X" is hexadecimal (digits 0-9,
// a-f, A-F, no sign); anything else is decimal with an optional leading
// '-' or '+' (leading zeros are plain zeros, never octal). The number must
// fit in an int. Anything else (empty text, blanks anywhere, trailing
// characters, "0x" alone, a number out of range) gives `fallback`.
// Blanks are not skipped here because the INI reader has already trimmed
// them; text that still carries some was not written by us.
int parseSettingInt(const std::string &value, int fallback);

} // namespace platform
