#include "tallygrid.h"

#include <charconv>

namespace {
// Far above the 9 × 12 the tally writes, and small enough that even an
// all-empty grid of this size saves as a text the tally file accepts.
constexpr int kMaxDimension = 64;
constexpr int kStatisticColumns = 5; // row 0, columns 0 … 4 start at "0"
const std::string kEmpty;
// Messages quote at most this many bytes of a line from the file: enough
// to recognise it, and a damaged file's one huge line cannot make the
// error box slow to lay out.
constexpr std::size_t kQuotedBytes = 40;

// The start of `text` for a message, cut before a UTF-8 sequence that
// would not fit and marked with an ellipsis when anything was left out.
std::string quoted(std::string_view text)
{
    if (text.size() <= kQuotedBytes)
        return std::string(text);
    std::size_t cut = kQuotedBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(text.substr(0, cut)) + "\u2026";
}
} // namespace

bool parseTallyInt(std::string_view text, int &value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

TallyGrid::TallyGrid()
    : m_cells(static_cast<std::size_t>(kColumns * kRows))
{
}

void TallyGrid::resize(int columns, int rows)
{
    std::vector<std::string> cells(static_cast<std::size_t>(columns) * rows);
    for (int c = 0; c < std::min(columns, m_columns); ++c)
        for (int r = 0; r < std::min(rows, m_rows); ++r)
            cells[static_cast<std::size_t>(c) * rows + r] = std::move(m_cells[static_cast<std::size_t>(c) * m_rows + r]);
    m_cells = std::move(cells);
    m_columns = columns;
    m_rows = rows;
}

const std::string &TallyGrid::cell(int column, int row) const
{
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return kEmpty;
    return m_cells[static_cast<std::size_t>(column) * m_rows + row];
}

void TallyGrid::setCell(int column, int row, std::string text)
{
    if (column < 0 || row < 0)
        return;
    if (column >= m_columns || row >= m_rows)
        resize(std::max(column + 1, m_columns), std::max(row + 1, m_rows));
    m_cells[static_cast<std::size_t>(column) * m_rows + row] = std::move(text);
}

void TallyGrid::setEmptyContents()
{
    m_columns = kColumns;
    m_rows = kRows;
    m_cells.assign(static_cast<std::size_t>(kColumns) * kRows, std::string());
    for (int c = 0; c < kStatisticColumns; ++c)
        setCell(c, 0, "0");
    for (int r = 1; r <= kRanks; ++r)
        setCell(1, r, kFreeRank);
}

std::string TallyGrid::toText() const
{
    std::string text = std::to_string(m_columns) + "\r\n" + std::to_string(m_rows) + "\r\n";
    for (int c = 0; c < m_columns; ++c)
        for (int r = 0; r < m_rows; ++r)
            text += cell(c, r) + "\r\n";
    return text;
}

void TallyGrid::fromText(std::string_view text)
{
    std::size_t pos = 0;
    auto nextLine = [&](std::string &line) {
        if (pos >= text.size())
            return false;
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        line.assign(text.substr(pos, end - pos));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = end + 1;
        return true;
    };
    auto readCount = [&](const char *what) {
        std::string line;
        nextLine(line);
        int value = 0;
        if (!parseTallyInt(line, value))
            throw TallyGridError("'" + quoted(line) + "' is not a valid integer value");
        if (value < 1 || value > kMaxDimension)
            throw TallyGridError(std::string("Tally grid ") + what + " out of range: " + quoted(line));
        return value;
    };
    const int columns = readCount("column count");
    const int rows = readCount("row count");
    resize(columns, rows);
    std::string line;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            setCell(c, r, nextLine(line) ? line : std::string());
}
