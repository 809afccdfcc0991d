#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Raised when a settings file cannot be written. what() is exactly
// "Unable to write to " followed by the path the caller gave.
class IniWriteError : public std::runtime_error {
public:
    explicit IniWriteError(const std::filesystem::path &path);
};

// The text format shared by IniFile and the two functions below:
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
//
// A file larger than IniFile::kMaxFileBytes is never read: every key reads
// as missing, and a save refuses with IniWriteError, leaving it untouched
// (replacing it would throw away what was never read).

// One settings file, read once and saved once: gets answer from the text
// as it was read, sets edit it in memory, and save replaces the file all or
// nothing with the result of every set so far. Not thread-safe.
class IniFile {
public:
    // Far above any settings file; a larger one was not written by hand.
    static constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

    // Reads the file at `path` now. Never throws for anything found on disk
    // and never creates or changes a file.
    explicit IniFile(std::filesystem::path path);

    // As getPrivateProfileString, from the text read (with every set so far).
    std::string get(std::string_view section, std::string_view key, const std::string &defaultValue) const;

    // As writePrivateProfileString, in memory only: the same editing rules
    // and the same std::invalid_argument for names the format cannot hold.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Writes the text to the file as writePrivateProfileString would, all or
    // nothing; one fsync, one rename. Throws IniWriteError when the file
    // could not be read whole or cannot be written; the file is then
    // unchanged.
    void save() const;

private:
    enum class Status { Read, Missing, Unreadable, TooLarge };

    std::filesystem::path m_path;
    Status m_status = Status::Missing;
    std::string m_text;
    unsigned m_mode = 0; // the file's permission bits when it was read
};

// Returns the value of `key` in `section` of the INI file at `path`, or
// `defaultValue` when the file, the section or the key is missing, or the
// file cannot be read (a directory, no permission, too large, …). Never
// throws for anything found on disk and never creates or changes a file.
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
// Throws IniWriteError when the file cannot be read back whole or written
// (an existing file we may not write to counts, even though the folder
// would let us replace it), and
// std::invalid_argument when a name cannot be held by the format (a line
// break in either name, ']' in the section, an empty key, '=' in the key or
// a key starting with ';' or '['). On either error the file is unchanged.
void writePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::filesystem::path &path);

} // namespace platform
