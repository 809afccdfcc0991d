#include "heldrows.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>

namespace {

std::vector<QTextTable *> rootTables(const QTextDocument &page)
{
    std::vector<QTextTable *> tables;
    for (QTextFrame *frame : page.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.push_back(table);
    return tables;
}

bool holdsTable(const QTextTable &table)
{
    const QList<QTextFrame *> frames = table.childFrames();
    return std::any_of(frames.begin(), frames.end(),
                       [](QTextFrame *frame) { return qobject_cast<QTextTable *>(frame) != nullptr; });
}

// Whether the table may be cut before each row: not where a cell from an
// earlier row reaches down into it. One entry past the last row, which is
// always a place to stop.
std::vector<bool> cutsAllowed(QTextTable &table)
{
    const int rows = table.rows(), columns = table.columns();
    std::vector<bool> allowed(std::size_t(rows) + 1, true);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (cell.row() != row || cell.column() != column)
                continue;
            for (int below = row + 1; below < std::min(rows, row + cell.rowSpan()); ++below)
                allowed[std::size_t(below)] = false;
        }
    return allowed;
}

// The first place at or after `row` where the table may be cut.
int cutAtOrAfter(const std::vector<bool> &allowed, int row)
{
    const int last = int(allowed.size()) - 1;
    row = std::min(row, last);
    while (!allowed[std::size_t(row)])
        ++row;
    return row;
}

int rowsPerStep(int columns) { return std::max(1, HeldRows::kCellsPerStep / std::max(1, columns)); }

void copyCell(const QTextTableCell &from, QTextTableCell to)
{
    to.setFormat(from.format());
    QTextCursor into = to.firstCursorPosition();
    const QTextCursor start = from.firstCursorPosition();
    // A fragment brings the formats of the blocks it starts, not of the
    // block it is put into: the cell's alignment lives there.
    into.setBlockFormat(start.blockFormat());
    into.setBlockCharFormat(start.blockCharFormat());
    QTextCursor range = start;
    range.setPosition(from.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    if (range.hasSelection())
        into.insertFragment(QTextDocumentFragment(range));
}

} // namespace

HeldRows::HeldRows() = default;
HeldRows::~HeldRows() = default;
HeldRows::HeldRows(HeldRows &&) noexcept = default;
HeldRows &HeldRows::operator=(HeldRows &&) noexcept = default;

HeldRows HeldRows::holdBack(QTextDocument &page)
{
    struct Cut {
        std::size_t index;  // among the root frame's tables
        int row;
        std::vector<bool> allowed;
    };
    const std::vector<QTextTable *> tables = rootTables(page);
    std::vector<Cut> cuts;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        QTextTable &table = *tables[i];
        if (qint64(table.rows()) * table.columns() <= 2 * kCellsPerStep || holdsTable(table))
            continue;
        std::vector<bool> allowed = cutsAllowed(table);
        const int row = cutAtOrAfter(allowed, rowsPerStep(table.columns()));
        if (row < table.rows())
            cuts.push_back({i, row, std::move(allowed)});
    }
    HeldRows held;
    if (cuts.empty())
        return held;

    held.m_whole.reset(page.clone());
    const std::vector<QTextTable *> whole = rootTables(*held.m_whole);
    if (whole.size() != tables.size())
        return {};
    for (const Cut &cut : cuts) {
        QTextTable *shown = tables[cut.index], *source = whole[cut.index];
        if (source->rows() != shown->rows() || source->columns() != shown->columns())
            return {};
    }
    for (Cut &cut : cuts) {
        QTextTable *shown = tables[cut.index];
        // One row at a time, from the end: Qt 6.4 leaves a table it cannot
        // lay out when one removal takes several rows and a cell spanning
        // rows among them.
        for (int row = shown->rows() - 1; row >= cut.row; --row)
            shown->removeRows(row, 1);
        held.m_tables.push_back({shown, whole[cut.index], cut.row, std::move(cut.allowed)});
    }
    return held;
}

bool HeldRows::isEmpty() const
{
    return std::none_of(m_tables.begin(), m_tables.end(), [](const Table &table) {
        return table.shown && table.source && table.nextRow < table.source->rows();
    });
}

void HeldRows::appendStep()
{
    const auto next = std::find_if(m_tables.begin(), m_tables.end(), [](const Table &table) {
        return table.shown && table.source && table.nextRow < table.source->rows();
    });
    if (next == m_tables.end())
        return;
    Table &table = *next;
    QTextTable &shown = *table.shown, &source = *table.source;
    const int columns = source.columns();
    if (shown.columns() != columns) {  // not the table it was cut from
        table.nextRow = source.rows();
        return;
    }
    const int first = table.nextRow;
    const int end = cutAtOrAfter(table.cutAllowed, first + rowsPerStep(columns));
    const int base = shown.rows();

    QTextCursor edit(shown.document());
    edit.beginEditBlock();
    shown.appendRows(end - first);
    // Spans first, on empty cells, then the contents into the cells left.
    for (int pass = 0; pass < 2; ++pass)
        for (int row = first; row < end; ++row)
            for (int column = 0; column < columns; ++column) {
                const QTextTableCell from = source.cellAt(row, column);
                if (from.row() != row || from.column() != column)
                    continue;
                const int to = base + row - first;
                if (pass == 0) {
                    if (from.rowSpan() > 1 || from.columnSpan() > 1)
                        shown.mergeCells(to, column, from.rowSpan(), from.columnSpan());
                } else {
                    copyCell(from, shown.cellAt(to, column));
                }
            }
    edit.endEditBlock();
    table.nextRow = end;
}

void HeldRows::moveToThread(QThread *thread)
{
    if (m_whole)
        m_whole->moveToThread(thread);
}
