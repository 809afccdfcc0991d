#pragma once

#include <QPointer>

#include <memory>
#include <vector>

class QTextDocument;
class QTextTable;
class QThread;

// The later rows of a page's long tables, held back so that the page can
// be handed to a view in steps. Qt lays a table out whole, and a long one
// is the dearest thing a page holds; handed over with all its rows it
// keeps the GUI thread busy for as long as the whole table takes. Cut to
// its first rows it is laid out quickly, and each later step appends a
// few rows, laying out what they add.
class HeldRows {
public:
    // About this many cells are laid out in each step; a table of no more
    // than twice as many is handed over whole.
    static constexpr int kCellsPerStep = 64;

    HeldRows();
    ~HeldRows();
    HeldRows(HeldRows &&) noexcept;
    HeldRows &operator=(HeldRows &&) noexcept;

    // Cuts each long table in `page`'s root frame after its first rows,
    // keeping a copy of the page to take the rest from. A cut falls only
    // between rows that no cell spans, and a table holding tables of its
    // own is left whole. Holds nothing when no table is long enough.
    // Works on the calling thread, which must be `page`'s.
    static HeldRows holdBack(QTextDocument &page);

    // True when no rows are held (any more).
    bool isEmpty() const;
    // Appends the next step of held rows to their table in the page, with
    // the cells' contents and formats as the page had them, in one edit
    // (one layout). Does nothing once the page or its table is gone.
    void appendStep();
    // Moves the copy the rows are taken from to `thread`, as the page goes.
    void moveToThread(QThread *thread);

private:
    struct Table {
        QPointer<QTextTable> shown;   // in the page, cut
        QPointer<QTextTable> source;  // in the copy, whole
        int nextRow = 0;
        std::vector<bool> cutAllowed;  // before each row (and after the last)
    };
    std::unique_ptr<QTextDocument> m_whole;
    std::vector<Table> m_tables;
};
