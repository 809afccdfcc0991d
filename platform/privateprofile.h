#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace platform {

// Raised when a settings file cannot be written. what() is exactly
// "Unable to write to " followed by the path the caller gave.
class IniWriteError : public std::runtime_error {
public:
    explicit IniWriteError(const std::filesystem::path &path);
};

// The text format shared by both functions below:
//  - a line ends at LF, CR LF or a lone CR;
//  - "[name]" after optional blanks opens a section; text after the first ']'
//    is ignored; blanks inside the brackets around the name are trimmed;
//  - "key=value" belongs to the section opened last; the key is the text
//    before the first '=', the value everything after it, both trimmed of
//    blanks (spaces and tabs); the value is plain text, never unquoted,
//    split or unescaped, and is returned in full however long it is;
//  - lines starting with ';' (after optional blanks) are comments; lines
//    without '=' (a '[' without ']' included) are not entries; entries
//    before the first section header belong to no section; none of these is
//    ever read;
//  - section and key names match without regard to ASCII letter case;
//  - when a section or key occurs more than once, the first occurrence in
//    the file counts (all sections of the same name are searched in file
//    order);
//  - a UTF-8 byte order mark at the start of the file is ignored.

// Returns the value of `key` in `section` of the INI file at `path`, or
// `defaultValue` when the file, the section or the key is missing, or the
// file cannot be read (a directory, no permission, …). Never throws for
// anything found on disk and never creates or changes a file.
std::string getPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue,
                                    const std::filesystem::path &path);

// Sets `key` in `section` of the INI file at `path` to `value`:
//  - an existing key keeps its line: only the text after "=" and the blanks
//    following it is replaced, and the line then ends with CR LF;
//  - a new key is added as "key=value" CR LF after the last line of the
//    section that is neither blank nor a comment;
//  - a missing section is added as "[section]" CR LF at the end of the file,
//    and a missing file is created;
//  - every other byte of the file stays as it was, except that a final line
//    without a line break gets CR LF when something is added after it.
// The value is written as given, except that each CR or LF in it becomes a
// blank, since a line break would end the entry and start a new one (blanks
// around it are written too, but reading trims them).
// All or nothing: the new text goes to a fresh file in the same folder that
// is renamed over the old one, so the file is either wholly old or wholly
// new; no temporary file is left behind. A symbolic link at `path` is kept
// and the file it points to is replaced; an existing file keeps its mode.
// Throws IniWriteError when the file cannot be read back or written (an
// existing file we may not write to counts, even though the folder would
// let us replace it), and
// std::invalid_argument when a name cannot be held by the format (a line
// break in either name, ']' in the section, an empty key, '=' in the key or
// a key starting with ';' or '['). On either error the file is unchanged.
void writePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::filesystem::path &path);

} // namespace platform
