#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The tally's table of text cells, addressed by column and row from 0.
// Row 0 holds the round statistics, rows 1 … 10 the ten best games
// (column 0 date, 1 score, 2 name).
class TallyGrid {
public:
    static constexpr int kColumns = 9;
    static constexpr int kRows = 12;
    static constexpr int kRanks = 10;
    static constexpr const char *kFreeRank = "-1000";

    TallyGrid();

    int columnCount() const { return m_columns; }
    int rowCount() const { return m_rows; }
    // Resizes, keeping the cells that still fit; new cells are empty.
    void resize(int columns, int rows);

    // Cells outside the grid read as empty; writing one grows the grid.
    const std::string &cell(int column, int row) const;
    void setCell(int column, int row, std::string text);

    // The contents of a tally with nothing recorded yet: "0" in row 0,
    // columns 0 … 4; "-1000" as the score of every rank 1 … 10; all else
    // empty. The size goes back to 9 × 12.
    void setEmptyContents();

    // The grid as text: the column count, the row count, then every cell
    // column by column (all rows of column 0 first), one per line, each
    // line ended by CR LF. Cells are written as they are.
    std::string toText() const;

    // Reads the text form back, resizing to the counts it gives. Lines may
    // end in CR LF or LF; missing cell lines read as empty. Throws
    // TallyGridError for counts that are not integers or not 1 … 64; its
    // message quotes at most the first 40 bytes of the offending line.
    void fromText(std::string_view text);

private:
    int m_columns = kColumns;
    int m_rows = kRows;
    std::vector<std::string> m_cells;  // column-major
};

class TallyGridError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decimal integer text, as the tally stores its numbers: an optional sign
// and digits, nothing else. False for anything else, including overflow.
bool parseTallyInt(std::string_view text, int &value);
