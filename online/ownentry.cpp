#include "ownentry.h"

#include <QList>
#include <QStringView>

#include <initializer_list>

namespace online {

namespace {

// The first opening tag among `tags` ("tr"; "td" or "th") at or after
// `from` and before `end`: "<tag" then a blank or ">". -1 when there is
// none. Looking for both cell tags at once keeps a row's cells to one pass
// over the row; looked for one after the other, a tag that does not come
// sent each search on to the end of the page.
qsizetype findOpening(QStringView page, std::initializer_list<QStringView> tags, qsizetype from, qsizetype end)
{
    for (qsizetype at = page.indexOf(u'<', from); at >= 0 && at < end; at = page.indexOf(u'<', at + 1)) {
        const QStringView rest = page.sliced(at + 1);
        for (const QStringView tag : tags) {
            if (!rest.startsWith(tag, Qt::CaseInsensitive) || rest.size() == tag.size())
                continue;
            const QChar after = rest[tag.size()];
            if (after == u'>' || after.isSpace())
                return at;
        }
    }
    return -1;
}

// The closing tag `tag` at or after `from` and before `end`; -1 when there
// is none. Bounded like findOpening, as HTML may leave it out everywhere.
qsizetype findClosing(QStringView page, QStringView tag, qsizetype from, qsizetype end)
{
    const QString closing = QStringLiteral("</") + tag.toString();
    return page.first(end).indexOf(closing, from, Qt::CaseInsensitive);
}

// A cell's text as a reader sees it.
QString cellText(QStringView html)
{
    QString text;
    bool inTag = false;
    for (const QChar c : html) {
        if (c == u'<')
            inTag = true;
        else if (c == u'>')
            inTag = false;
        else if (!inTag)
            text += c;
    }
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.simplified();
}

// Where one cell's content lies in the page: after its opening tag, up to
// its closing tag.
struct Cell {
    qsizetype contentStart;
    qsizetype contentEnd;
};

QList<Cell> cellsOf(QStringView page, qsizetype rowStart, qsizetype rowEnd)
{
    QList<Cell> cells;
    qsizetype at = rowStart;
    for (;;) {
        const qsizetype open = findOpening(page, {u"td", u"th"}, at, rowEnd);
        if (open < 0)
            return cells;
        const QStringView tag = page.sliced(open + 1, 2);
        const qsizetype contentStart = page.first(rowEnd).indexOf(u'>', open);
        if (contentStart < 0)
            return cells;
        qsizetype contentEnd = findClosing(page, tag, contentStart, rowEnd);
        if (contentEnd < 0)
            contentEnd = rowEnd;
        cells.append({contentStart + 1, contentEnd});
        at = contentEnd;
    }
}

// The row's opening tag with its background replaced by the mark's.
QString markedRowTag(QStringView tag)
{
    QString marked = tag.toString();
    const qsizetype attribute = marked.indexOf(QStringLiteral("bgcolor"), 0, Qt::CaseInsensitive);
    if (attribute >= 0) {
        // Drop bgcolor=VALUE, quoted or not.
        qsizetype end = attribute + 7;
        while (end < marked.size() && (marked[end].isSpace() || marked[end] == u'='))
            ++end;
        if (end < marked.size() && (marked[end] == u'"' || marked[end] == u'\'')) {
            const qsizetype close = marked.indexOf(marked[end], end + 1);
            end = close < 0 ? marked.size() - 1 : close + 1;
        } else {
            while (end < marked.size() && !marked[end].isSpace() && marked[end] != u'>')
                ++end;
        }
        marked.remove(attribute, end - attribute);
    }
    marked.insert(3, QStringLiteral(" bgcolor=\"") + QLatin1String(kOwnEntryColor) + QLatin1Char('"'));
    return marked;
}

} // namespace

QString markOwnEntry(const QString &page, const OwnEntry &entry)
{
    if (entry.isEmpty())
        return page;
    const QString name = entry.name.simplified();
    const QString score = entry.score.simplified();
    const QStringView view(page);
    for (qsizetype row = findOpening(view, {u"tr"}, 0, view.size()); row >= 0;) {
        const qsizetype next = findOpening(view, {u"tr"}, row + 1, view.size());
        const qsizetype before = next < 0 ? view.size() : next;
        qsizetype rowEnd = findClosing(view, u"tr", row, before);
        if (rowEnd < 0)
            rowEnd = before;
        const QList<Cell> cells = cellsOf(view, row, rowEnd);
        bool hasName = false;
        bool hasScore = false;
        for (const Cell &cell : cells) {
            const QString text = cellText(view.sliced(cell.contentStart, cell.contentEnd - cell.contentStart));
            hasName = hasName || text == name;
            hasScore = hasScore || text == score;
        }
        if (hasName && hasScore) {
            const qsizetype tagEnd = view.indexOf(u'>', row);
            if (tagEnd < 0 || tagEnd >= rowEnd)
                return page;
            QString marked = view.first(row).toString();
            marked += markedRowTag(view.sliced(row, tagEnd + 1 - row));
            qsizetype at = tagEnd + 1;
            for (const Cell &cell : cells) {
                marked += view.sliced(at, cell.contentStart - at);
                marked += QStringLiteral("<b>");
                marked += view.sliced(cell.contentStart, cell.contentEnd - cell.contentStart);
                marked += QStringLiteral("</b>");
                at = cell.contentEnd;
            }
            marked += view.sliced(at);
            return marked;
        }
        row = next;
    }
    return page;
}

} // namespace online
