#include "privateprofile.h"

#include "atomicfile.h"
#include "filedescriptor.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

IniWriteError::IniWriteError(const fs::path &path)
    : std::runtime_error("Unable to write to " + path.string())
{
}

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 65536;

// ---- text ------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// One line of the file as offsets into the whole text, so that untouched
// lines can be copied back byte for byte.
struct Line {
    std::size_t next = 0;       // first byte of the following line
    LineKind kind = LineKind::Other;
    std::string_view name;      // section or key name, trimmed
    std::size_t valueBegin = 0; // keys: where the value starts, blanks skipped
    std::string_view value;     // keys: the value, trimmed
};

// `begin` and `end` enclose the line without its line break.
Line classify(std::string_view text, std::size_t begin, std::size_t end, std::size_t next)
{
    Line line;
    line.next = next;
    const std::string_view raw = text.substr(begin, end - begin);
    const std::string_view body = trimBlanks(raw);

    if (body.empty()) {
        line.kind = LineKind::Blank;
    } else if (body.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (body.front() == '[' && body.find(']') != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = trimBlanks(body.substr(1, body.find(']') - 1));
    } else if (const auto eq = raw.find('='); eq != std::string_view::npos
               && !trimBlanks(raw.substr(0, eq)).empty()) {
        line.kind = LineKind::Key;
        line.name = trimBlanks(raw.substr(0, eq));
        const auto afterEq = raw.substr(eq + 1);
        const auto skipped = std::min(afterEq.find_first_not_of(kBlanks), afterEq.size());
        line.valueBegin = begin + eq + 1 + skipped;
        line.value = trimBlanks(afterEq);
    }
    return line;
}

std::size_t firstLineStart(std::string_view text)
{
    return text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
}

// The line starting at `pos`, which lies inside the text. Lines are taken
// one at a time, so no table of them is built however many the file holds.
Line lineAt(std::string_view text, std::size_t pos)
{
    const auto brk = text.find_first_of(kLineBreak, pos);
    if (brk == std::string_view::npos)
        return classify(text, pos, text.size(), text.size());
    const bool crlf = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n';
    return classify(text, pos, brk, brk + (crlf ? 2 : 1));
}

// The line holding `key` in the first section called `section` that has
// it; keys before any section header never match.
std::optional<Line> findKey(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    for (std::size_t pos = firstLineStart(text); pos < text.size();) {
        const Line line = lineAt(text, pos);
        if (line.kind == LineKind::Section)
            inSection = equalsIgnoringCase(line.name, section);
        else if (inSection && line.kind == LineKind::Key && equalsIgnoringCase(line.name, key))
            return line;
        pos = line.next;
    }
    return std::nullopt;
}

// The last line of the first section called `section` that is neither
// blank nor a comment (its header when it holds nothing else). Blank lines
// and comments trailing a section usually introduce the next one, so new
// keys go before them.
std::optional<Line> findSectionTail(std::string_view text, std::string_view section)
{
    std::optional<Line> tail;
    for (std::size_t pos = firstLineStart(text); pos < text.size();) {
        const Line line = lineAt(text, pos);
        if (line.kind == LineKind::Section) {
            if (tail)
                break;
            if (equalsIgnoringCase(line.name, section))
                tail = line;
        } else if (tail && line.kind != LineKind::Blank && line.kind != LineKind::Comment) {
            tail = line;
        }
        pos = line.next;
    }
    return tail;
}

bool containsLineBreak(std::string_view text)
{
    return text.find_first_of(kLineBreak) != std::string_view::npos;
}

void checkNames(std::string_view section, std::string_view key)
{
    if (containsLineBreak(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("INI section name cannot be stored: " + std::string(section));
    if (key.empty() || containsLineBreak(key) || key.find('=') != std::string_view::npos
        || key.front() == ';' || key.front() == '[')
        throw std::invalid_argument("INI key name cannot be stored: " + std::string(key));
}

std::string singleLine(std::string_view value)
{
    std::string out(value);
    for (char &c : out) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

// Sets section/key to value, editing `text` in place; every other byte
// stays where it was.
void setValue(std::string &text, std::string_view section, std::string_view key, std::string_view value)
{
    if (const auto found = findKey(text, section, key)) {
        std::string replacement(value);
        replacement.append(kLineBreak);
        text.replace(found->valueBegin, found->next - found->valueBegin, replacement);
        return;
    }

    // A last line without its line break must get one first, or the new
    // entry would run into it.
    const auto breakBefore = [&text](std::size_t at) {
        const bool needed = at == text.size() && !text.empty() && text.back() != '\n' && text.back() != '\r';
        return needed ? std::string(kLineBreak) : std::string();
    };
    std::string entry(key);
    entry.append("=").append(value).append(kLineBreak);

    if (const auto tail = findSectionTail(text, section)) {
        const std::size_t at = tail->next;
        text.insert(at, breakBefore(at) + entry);
        return;
    }

    std::string added = breakBefore(text.size());
    added.append("[").append(section).append("]").append(kLineBreak).append(entry);
    text.append(added);
}

} // namespace

// ---- files -----------------------------------------------------------------

IniFile::IniFile(fs::path path)
    : m_path(std::move(path))
{
    // O_NONBLOCK keeps a FIFO planted at the path from hanging us.
    const UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.isOpen()) {
        m_status = (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Unreadable;
        return;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        m_status = Status::Unreadable;
        return;
    }
    m_mode = info.st_mode & 07777;
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxFileBytes) {
        m_status = Status::TooLarge;
        return;
    }

    m_text.reserve(static_cast<std::size_t>(info.st_size));
    std::string buffer(kReadChunk, '\0');
    for (;;) {
        const ssize_t n = readSome(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            m_status = Status::Unreadable;
            m_text = std::string();
            return;
        }
        if (n == 0)
            break;
        // It may have grown since it was measured.
        if (m_text.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            m_status = Status::TooLarge;
            m_text = std::string();
            return;
        }
        m_text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    m_status = Status::Read;
}

std::string IniFile::get(std::string_view section, std::string_view key, const std::string &defaultValue) const
{
    if (m_status == Status::Unreadable || m_status == Status::TooLarge)
        return defaultValue;
    const auto found = findKey(m_text, trimBlanks(section), trimBlanks(key));
    return found ? std::string(found->value) : defaultValue;
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    checkNames(sectionName, keyName);
    setValue(m_text, sectionName, keyName, singleLine(value));
}

void IniFile::save() const
{
    // Replacing a file we could not read whole would throw its contents
    // away, and the rename would get round a file marked read-only.
    if (m_status == Status::Unreadable || m_status == Status::TooLarge)
        throw IniWriteError(m_path);
    const fs::path target = resolveTarget(m_path);
    if (m_status == Status::Read && ::access(target.c_str(), W_OK) != 0)
        throw IniWriteError(m_path);
    const std::optional<mode_t> keptMode =
        m_status == Status::Read ? std::optional<mode_t>(static_cast<mode_t>(m_mode)) : std::nullopt;
    if (!replaceFile(target, m_text, keptMode))
        throw IniWriteError(m_path);
}

std::string getPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const fs::path &path)
{
    return IniFile(path).get(section, key, defaultValue);
}

void writePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const fs::path &path)
{
    // A name the format cannot hold is refused before the file is read.
    checkNames(trimBlanks(section), trimBlanks(key));
    IniFile file(path);
    file.set(section, key, value);
    file.save();
}

} // namespace platform
