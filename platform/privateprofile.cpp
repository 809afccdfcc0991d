#include "privateprofile.h"

#include "atomicfile.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

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
constexpr std::size_t kReadChunk = 16384;

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

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t pos = text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        const auto brk = text.find_first_of(kLineBreak, pos);
        if (brk == std::string_view::npos) {
            lines.push_back(classify(text, pos, text.size(), text.size()));
            break;
        }
        const bool crlf = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n';
        const auto next = brk + (crlf ? 2 : 1);
        lines.push_back(classify(text, pos, brk, next));
        pos = next;
    }
    return lines;
}

// Index of the line holding `key` in the first section called `section`
// that has it; keys before any section header never match.
std::optional<std::size_t> findKey(const std::vector<Line> &lines, std::string_view section,
                                   std::string_view key)
{
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.kind == LineKind::Section)
            inSection = equalsIgnoringCase(line.name, section);
        else if (inSection && line.kind == LineKind::Key && equalsIgnoringCase(line.name, key))
            return i;
    }
    return std::nullopt;
}

// The last line of the first section called `section` that is neither
// blank nor a comment (its header when it holds nothing else). Blank lines
// and comments trailing a section usually introduce the next one, so new
// keys go before them.
std::optional<std::size_t> findSectionTail(const std::vector<Line> &lines, std::string_view section)
{
    std::optional<std::size_t> tail;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.kind == LineKind::Section) {
            if (tail)
                break;
            if (equalsIgnoringCase(line.name, section))
                tail = i;
        } else if (tail && line.kind != LineKind::Blank && line.kind != LineKind::Comment) {
            tail = i;
        }
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

// The whole new text of the file after setting section/key to value.
std::string withValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value)
{
    const std::vector<Line> lines = splitLines(text);
    std::string out;

    if (const auto found = findKey(lines, section, key)) {
        const Line &line = lines[*found];
        out.append(text.substr(0, line.valueBegin));
        out.append(value);
        out.append(kLineBreak);
        out.append(text.substr(line.next));
        return out;
    }

    const auto copyUpTo = [&](std::size_t at) {
        out.append(text.substr(0, at));
        // A last line without its line break must get one first, or the
        // new entry would run into it.
        if (at == text.size() && !text.empty() && text.back() != '\n' && text.back() != '\r')
            out.append(kLineBreak);
    };

    if (const auto tail = findSectionTail(lines, section)) {
        const std::size_t at = lines[*tail].next;
        copyUpTo(at);
        out.append(key).append("=").append(value).append(kLineBreak);
        out.append(text.substr(at));
        return out;
    }

    copyUpTo(text.size());
    out.append("[").append(section).append("]").append(kLineBreak);
    out.append(key).append("=").append(value).append(kLineBreak);
    return out;
}

// ---- files -----------------------------------------------------------------


enum class ReadStatus { Read, Missing, Unreadable };

struct FileContents {
    ReadStatus status = ReadStatus::Missing;
    std::string text;
    mode_t mode = 0;
};

FileContents readFile(const fs::path &path)
{
    FileContents result;
    // O_NONBLOCK keeps a FIFO planted at the path from hanging us.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.isOpen()) {
        result.status = (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing
                                                              : ReadStatus::Unreadable;
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.status = ReadStatus::Unreadable;
        return result;
    }
    result.mode = info.st_mode & 07777;

    std::string buffer(kReadChunk, '\0');
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.status = ReadStatus::Unreadable;
            result.text.clear();
            return result;
        }
        if (n == 0)
            break;
        result.text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    result.status = ReadStatus::Read;
    return result;
}


} // namespace

std::string getPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const fs::path &path)
{
    const FileContents file = readFile(path);
    if (file.status != ReadStatus::Read)
        return defaultValue;
    const std::vector<Line> lines = splitLines(file.text);
    const auto found = findKey(lines, trimBlanks(section), trimBlanks(key));
    if (!found)
        return defaultValue;
    return std::string(lines[*found].value);
}

void writePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const fs::path &path)
{
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    checkNames(sectionName, keyName);

    const fs::path target = resolveTarget(path);
    const FileContents old = readFile(target);
    // Replacing a file we could not read would throw its contents away, and
    // the rename would get round a file marked read-only.
    if (old.status == ReadStatus::Unreadable
        || (old.status == ReadStatus::Read && ::access(target.c_str(), W_OK) != 0))
        throw IniWriteError(path);

    const std::string text = withValue(old.text, sectionName, keyName, singleLine(value));
    const std::optional<mode_t> keptMode =
        old.status == ReadStatus::Read ? std::optional<mode_t>(old.mode) : std::nullopt;
    if (!replaceFile(target, text, keptMode))
        throw IniWriteError(path);
}

} // namespace platform
