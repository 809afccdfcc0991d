#include "tallygrid.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string readData(const std::string &name)
{
    std::ifstream in(std::string(PEG_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TallyGrid, EmptyContentsMatchTheGoldenText)
{
    TallyGrid grid;
    grid.setEmptyContents();
    const std::string golden = readData("tallygrid.txt");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(grid.toText(), golden);
    // 110 lines, each ended by CR LF.
    std::size_t lines = 0;
    for (std::size_t at = golden.find("\r\n"); at != std::string::npos; at = golden.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 110u);
}

TEST(TallyGrid, TextRoundTripKeepsEveryCell)
{
    TallyGrid grid;
    grid.setEmptyContents();
    grid.setCell(1, 0, "17");
    grid.setCell(0, 1, "12/8/26");
    grid.setCell(1, 1, "158");
    grid.setCell(2, 1, "");            // an empty name stays empty
    grid.setCell(2, 2, "Zoë  O'Neil"); // text is stored as it is
    TallyGrid back;
    back.fromText(grid.toText());
    ASSERT_EQ(back.columnCount(), 9);
    ASSERT_EQ(back.rowCount(), 12);
    for (int c = 0; c < 9; ++c)
        for (int r = 0; r < 12; ++r)
            EXPECT_EQ(back.cell(c, r), grid.cell(c, r)) << c << "," << r;
}

TEST(TallyGrid, ReadingTakesTheCountsFromTheText)
{
    struct Row {
        const char *name;
        std::string text;
        int columns;
        int rows;
        std::string cell00;
        std::string cell11;
    };
    const Row rows[] = {
        {"small grid", "2\r\n2\r\na\r\nb\r\nc\r\nd\r\n", 2, 2, "a", "d"},
        {"LF endings", "2\n2\na\nb\nc\nd\n", 2, 2, "a", "d"},
        {"missing lines read empty", "2\r\n2\r\na\r\n", 2, 2, "a", ""},
    };
    for (const Row &row : rows) {
        TallyGrid grid;
        grid.fromText(row.text);
        EXPECT_EQ(grid.columnCount(), row.columns) << row.name;
        EXPECT_EQ(grid.rowCount(), row.rows) << row.name;
        EXPECT_EQ(grid.cell(0, 0), row.cell00) << row.name;
        EXPECT_EQ(grid.cell(1, 1), row.cell11) << row.name;
        // Cells outside the grid read as empty.
        EXPECT_EQ(grid.cell(8, 11), "") << row.name;
    }
}

TEST(TallyGrid, BadCountsAreErrors)
{
    struct Row {
        std::string text;
        std::string message;
    };
    const Row rows[] = {
        {"abc\r\n12\r\n", "'abc' is not a valid integer value"},
        {"9\r\n\r\n", "'' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"0\r\n12\r\n", "Tally grid column count out of range: 0"},
        {"9\r\n99999999\r\n", "Tally grid row count out of range: 99999999"},
        {"9\r\n-3\r\n", "Tally grid row count out of range: -3"},
        {"65\r\n12\r\n", "Tally grid column count out of range: 65"},
        // A damaged file's huge line is quoted by its start only, never cut
        // inside a character.
        {std::string(4000, 'x') + "\r\n12\r\n", "'" + std::string(40, 'x') + "\u2026' is not a valid integer value"},
        {"9\r\n" + std::string(39, '9') + "\xC3\xA9" + std::string(100, '9') + "\r\n",
         "'" + std::string(39, '9') + "\u2026' is not a valid integer value"},
    };
    for (const Row &row : rows) {
        TallyGrid grid;
        try {
            grid.fromText(row.text);
            ADD_FAILURE() << "no error for " << row.text;
        } catch (const TallyGridError &e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

TEST(TallyGrid, IntegersAreStrictDecimal)
{
    struct Row {
        const char *text;
        bool ok;
        int value;
    };
    const Row rows[] = {{"0", true, 0},      {"-1000", true, -1000}, {"+7", true, 7},      {"158", true, 158},
                        {"", false, 0},       {"abc", false, 0},      {"12x", false, 0},    {" 5", false, 0},
                        {"99999999999", false, 0}, {"0x10", false, 0}};
    for (const Row &row : rows) {
        int value = 0;
        EXPECT_EQ(parseTallyInt(row.text, value), row.ok) << row.text;
        if (row.ok) {
            EXPECT_EQ(value, row.value) << row.text;
        }
    }
}

} // namespace
