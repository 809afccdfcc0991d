#include "pagebounds.h"

#include <QSet>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Longer names are no element anyone writes; such a tag is dropped, which
// also bounds what every end tag written at the end costs.
constexpr qsizetype kMaxNameLength = 32;
// Longer attribute names are dropped with their values.
constexpr qsizetype kMaxAttributeNameLength = 64;
// How far back from a text cut an unfinished entity ("&amp") is looked for.
constexpr qsizetype kLongestEntity = 12;

enum class Kind : unsigned char {
    Other,
    Nobr,
    Pre,
    Html,
    Head,
    Body,     // also <qt>, which Qt reads as body
    Rcdata,   // title, textarea: their content is text up to their end tag
    Raw,      // script, style: dropped with their content
    Void,     // never has content; written self-closed
    P,
    Li,
    Div,
    Dl,
    DdDt,
    Table,
    Caption,
    Section,  // tbody, thead, tfoot
    Tr,
    Cell,     // td, th
};

struct ElementInfo {
    std::string_view name;
    Kind kind;
    bool block;  // a block as Qt's parser reckons it (tables are not)
};

// Sorted by name, for the binary search.
constexpr ElementInfo kElements[] = {
    {"area", Kind::Void, false},     {"base", Kind::Void, false},      {"basefont", Kind::Void, false},
    {"blockquote", Kind::Other, true}, {"body", Kind::Body, true},     {"br", Kind::Void, false},
    {"caption", Kind::Caption, true}, {"center", Kind::Other, true},   {"col", Kind::Void, false},
    {"dd", Kind::DdDt, true},        {"div", Kind::Div, true},         {"dl", Kind::Dl, true},
    {"dt", Kind::DdDt, true},        {"embed", Kind::Void, false},     {"frame", Kind::Void, false},
    {"h1", Kind::Other, true},       {"h2", Kind::Other, true},        {"h3", Kind::Other, true},
    {"h4", Kind::Other, true},       {"h5", Kind::Other, true},        {"h6", Kind::Other, true},
    {"head", Kind::Head, false},     {"hr", Kind::Void, true},         {"html", Kind::Html, false},
    {"img", Kind::Void, false},      {"input", Kind::Void, false},     {"isindex", Kind::Void, false},
    {"keygen", Kind::Void, false},   {"li", Kind::Li, true},           {"link", Kind::Void, false},
    {"meta", Kind::Void, false},     {"nobr", Kind::Nobr, false},      {"ol", Kind::Other, true},
    {"p", Kind::P, true},            {"param", Kind::Void, false},     {"pre", Kind::Pre, true},       {"qt", Kind::Body, true},
    {"script", Kind::Raw, false},    {"source", Kind::Void, false},    {"style", Kind::Raw, false},
    {"table", Kind::Table, false},   {"tbody", Kind::Section, false},  {"td", Kind::Cell, true},
    {"textarea", Kind::Rcdata, false}, {"tfoot", Kind::Section, false}, {"th", Kind::Cell, true},
    {"thead", Kind::Section, false}, {"title", Kind::Rcdata, false},   {"tr", Kind::Tr, false},
    {"track", Kind::Void, false},    {"ul", Kind::Other, true},        {"wbr", Kind::Void, false},
};

ElementInfo lookUp(const std::string &name)
{
    const auto *end = std::end(kElements);
    const auto *found = std::lower_bound(std::begin(kElements), end, name,
                                         [](const ElementInfo &e, const std::string &n) { return e.name < n; });
    if (found != end && found->name == name)
        return *found;
    return {{}, Kind::Other, false};
}

bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool isNameChar(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u':' || c == u'.';
}

bool isSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

// `name` in lower case when it is a name this page may use, else empty.
std::string asciiName(QStringView name, qsizetype maxLength)
{
    if (name.isEmpty() || name.size() > maxLength)
        return {};
    std::string out;
    out.reserve(std::size_t(name.size()));
    for (QChar c : name) {
        if (!isNameChar(c))
            return {};
        out += char(c.toLower().unicode());
    }
    return out;
}

// Where text inside an element may break into lines.
enum class Wrap : unsigned char { Spaces, NewLines, Nowhere };

struct Attribute {
    QStringView name;
    QStringView value;
};

class Bounder {
public:
    Bounder(QStringView in, const PageLimits &limits, QStringView notice)
        : m_in(in), m_limits(limits), m_notice(notice)
    {
    }

    QString run()
    {
        while (m_pos < m_in.size() && !m_cut) {
            if (m_pos >= m_limits.maxPageChars) {
                m_cut = true;
                break;
            }
            const qsizetype lt = m_in.indexOf(u'<', m_pos);
            if (lt < 0) {
                text(m_in.mid(m_pos));
                break;
            }
            if (lt > m_pos)
                text(m_in.mid(m_pos, lt - m_pos));
            m_pos = lt;
            if (!m_cut)
                markup();
        }
        if (m_cut) {
            while (!m_open.empty() && m_open.back().kind != Kind::Body && m_open.back().kind != Kind::Html) {
                // A row or table the limit left empty would show as an
                // empty frame above the notice.
                const Open &top = m_open.back();
                const bool empty = top.end == m_out.size() && isTableRowLevel(top.kind);
                const qsizetype start = m_out.lastIndexOf(u'<');
                closeTop();
                if (empty)
                    m_out.truncate(start);
            }
            m_out += m_notice;
        }
        while (!m_open.empty())
            closeTop();
        return m_out;
    }

private:
    struct Open {
        std::string name;
        Kind kind;
        bool block;
        Wrap wrap;
        qsizetype end;  // where the output stood just after its start tag
    };

    QChar at(qsizetype i) const { return i < m_in.size() ? m_in[i] : QChar(); }

    // Text as it stands, with any '<' written as a character reference, up
    // to what the text limit leaves.
    void text(QStringView run)
    {
        qsizetype keep = std::min(run.size(), std::max<qsizetype>(m_limits.maxTextChars - m_textChars, 0));
        const Wrap wrap = m_open.empty() ? Wrap::Spaces : m_open.back().wrap;
        for (qsizetype i = 0; i < keep; ++i) {
            if (wrap == Wrap::Spaces ? isSpace(run[i]) : wrap == Wrap::NewLines && run[i] == u'\n') {
                m_wordChars = 0;
            } else if (++m_wordChars > m_limits.maxWordChars) {
                keep = i;
                break;
            }
        }
        if (keep < run.size()) {
            const qsizetype amp = run.first(keep).lastIndexOf(u'&');
            if (amp >= 0 && amp >= keep - kLongestEntity && run.first(keep).indexOf(u';', amp) < 0)
                keep = amp;  // not half a character reference
            if (keep > 0 && run[keep - 1].isHighSurrogate())
                --keep;
            m_cut = true;
        }
        m_textChars += keep;
        for (QChar c : run.first(keep)) {
            if (c == u'<')
                m_out += u"&lt;";
            else
                m_out += c;
        }
    }

    void markup()
    {
        const QChar next = at(m_pos + 1);
        if (next == u'!' || next == u'?') {
            skipDeclaration();
        } else if (next == u'/') {
            const QChar first = at(m_pos + 2);
            if (isAsciiLetter(first))
                endTag();
            else if (first == u'>')
                m_pos += 3;
            else
                skipDeclaration();
        } else if (isAsciiLetter(next)) {
            startTag();
        } else {
            text(m_in.mid(m_pos, 1));
            ++m_pos;
        }
    }

    // A comment, doctype or processing instruction: dropped. Unterminated,
    // it takes the rest of the page with it, as in a browser.
    void skipDeclaration()
    {
        if (m_in.mid(m_pos).startsWith(u"<!--")) {
            const qsizetype body = m_pos + 4;
            if (at(body) == u'>') {
                m_pos = body + 1;
                return;
            }
            if (at(body) == u'-' && at(body + 1) == u'>') {
                m_pos = body + 2;
                return;
            }
            const qsizetype end = m_in.indexOf(u"-->", body);
            m_pos = end < 0 ? m_in.size() : end + 3;
            return;
        }
        const qsizetype end = m_in.indexOf(u'>', m_pos + 2);
        m_pos = end < 0 ? m_in.size() : end + 1;
    }

    // The tag name from m_pos, which ends at a space, '/' or '>'.
    QStringView tagName()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_in.size() && !isSpace(m_in[m_pos]) && m_in[m_pos] != u'/' && m_in[m_pos] != u'>')
            ++m_pos;
        return m_in.mid(start, m_pos - start);
    }

    // The attributes up to and past the tag's closing '>'; false when the
    // page ends inside the tag.
    bool attributes(std::vector<Attribute> *out)
    {
        const qsizetype n = m_in.size();
        for (;;) {
            while (m_pos < n && (isSpace(m_in[m_pos]) || m_in[m_pos] == u'/'))
                ++m_pos;
            if (m_pos >= n)
                return false;
            if (m_in[m_pos] == u'>') {
                ++m_pos;
                return true;
            }
            const qsizetype nameStart = m_pos++;  // a first '=' belongs to the name
            while (m_pos < n && !isSpace(m_in[m_pos]) && m_in[m_pos] != u'/' && m_in[m_pos] != u'>'
                   && m_in[m_pos] != u'=')
                ++m_pos;
            Attribute attribute{m_in.mid(nameStart, m_pos - nameStart), {}};
            while (m_pos < n && isSpace(m_in[m_pos]))
                ++m_pos;
            if (m_pos < n && m_in[m_pos] == u'=') {
                ++m_pos;
                while (m_pos < n && isSpace(m_in[m_pos]))
                    ++m_pos;
                if (m_pos >= n)
                    return false;
                const QChar quote = m_in[m_pos];
                if (quote == u'"' || quote == u'\'') {
                    const qsizetype close = m_in.indexOf(quote, m_pos + 1);
                    if (close < 0)
                        return false;
                    attribute.value = m_in.mid(m_pos + 1, close - m_pos - 1);
                    m_pos = close + 1;
                } else {
                    const qsizetype start = m_pos;
                    while (m_pos < n && !isSpace(m_in[m_pos]) && m_in[m_pos] != u'>')
                        ++m_pos;
                    attribute.value = m_in.mid(start, m_pos - start);
                }
            }
            if (out)
                out->push_back(attribute);
        }
    }

    void endTag()
    {
        m_pos += 2;
        const std::string name = asciiName(tagName(), kMaxNameLength);
        if (!attributes(nullptr)) {
            m_pos = m_in.size();
            return;
        }
        if (name.empty())
            return;
        const ElementInfo info = lookUp(name);
        // The end of the body or the page comes at the very end, as in a
        // browser: anything after them still belongs to the body.
        if (info.kind == Kind::Body || info.kind == Kind::Html)
            return;
        const int index = openIndex(name);
        if (index < 0)
            return;
        const bool tablePart = info.kind == Kind::Tr || info.kind == Kind::Cell || info.kind == Kind::Section
            || info.kind == Kind::Caption;
        // An end tag does not reach out of a table cell, nor a table part out
        // of its table.
        const int barrier = tablePart ? last(m_tables) : std::max(last(m_tables), last(m_cells));
        if (info.kind != Kind::Table && index < barrier)
            return;
        closeDownTo(index);
    }

    void startTag()
    {
        ++m_pos;
        const QStringView rawName = tagName();
        const std::string name = asciiName(rawName, kMaxNameLength);
        m_attributes.clear();
        if (!attributes(&m_attributes)) {
            m_pos = m_in.size();
            return;
        }
        if (name.empty())
            return;
        const ElementInfo info = lookUp(name);
        switch (info.kind) {
        case Kind::Raw:
            skipRawText(name);
            return;
        case Kind::Html:
            if (m_seenHtml || !m_open.empty())
                return;
            m_seenHtml = true;
            break;
        case Kind::Head:
            if (m_seenHead || m_seenBody || !(m_open.empty() || (m_open.size() == 1 && m_open[0].kind == Kind::Html)))
                return;
            m_seenHead = true;
            break;
        case Kind::Body:
            if (m_seenBody)
                return;
            m_seenBody = true;
            if (const int head = openKind(Kind::Head); head >= 0)
                closeDownTo(head);
            break;
        case Kind::P:
            closeThrough(Kind::P, [](const Open &o) { return !o.block; });
            break;
        case Kind::Li:
            closeThrough(Kind::Li, climbable);
            break;
        case Kind::DdDt:
            closeThrough(Kind::DdDt, climbable);
            if ((m_open.empty() || m_open.back().kind != Kind::Dl) && !open("dl", lookUp("dl"), {}))
                return;
            break;
        case Kind::Table:
            // A table straight inside a table's rows (not in a cell) ends
            // that table first, as in a browser.
            if (!m_open.empty() && isTableRowLevel(m_open.back().kind))
                closeDownTo(last(m_tables));
            break;
        case Kind::Caption:
            if (m_open.empty() || m_open.back().kind != Kind::Table)
                return;
            break;
        case Kind::Section:
        case Kind::Tr:
        case Kind::Cell:
            if (!placeTablePart(info.kind))
                return;
            break;
        default:
            break;
        }
        if (!open(name, info, m_attributes) || m_cut)
            return;
        if (info.kind == Kind::Rcdata)
            rcdata(name);
    }

    static bool climbable(const Open &o) { return !o.block || o.kind == Kind::P || o.kind == Kind::Div; }

    static bool isTableRowLevel(Kind kind) { return kind == Kind::Table || kind == Kind::Section || kind == Kind::Tr; }

    // Closes the nearest open `kind` when only elements `over` accepts lie
    // above it.
    template <typename Over>
    void closeThrough(Kind kind, Over over)
    {
        for (int i = int(m_open.size()) - 1; i >= 0; --i) {
            if (m_open[std::size_t(i)].kind == kind) {
                closeDownTo(i);
                return;
            }
            if (!over(m_open[std::size_t(i)]))
                return;
        }
    }

    // Readies the open elements for a row, cell or row group: it must sit
    // straight in its table (or row). False when no table is open to take it.
    bool placeTablePart(Kind kind)
    {
        const int part = last(m_tableParts);
        if (part < 0)
            return false;
        const Kind around = m_open[std::size_t(part)].kind;
        if (kind == Kind::Cell) {
            if (around == Kind::Cell || around == Kind::Caption)
                closeDownTo(part);
            else
                closeAbove(part);
            if (m_open.back().kind == Kind::Tr)
                return true;
            return open("tr", lookUp("tr"), {});
        }
        if (kind == Kind::Tr) {
            if (around == Kind::Tr || around == Kind::Caption) {
                closeDownTo(part);
            } else if (around == Kind::Cell) {
                closeDownTo(part);
                closeTop();  // the cell's row
            } else {
                closeAbove(part);
            }
            return true;
        }
        // A row group ends whatever row group, row or cell is open in its
        // table.
        closeAbove(last(m_tables));
        return true;
    }

    // Script and style content is dropped up to its end tag.
    void skipRawText(const std::string &name)
    {
        m_pos = endOfRawText(name);
    }

    // Title and textarea content is text up to their end tag.
    void rcdata(const std::string &name)
    {
        const qsizetype start = m_pos;
        const qsizetype end = endOfRawText(name);
        const qsizetype endTagAt = findEndTag(name, start);
        text(m_in.mid(start, (endTagAt < 0 ? m_in.size() : endTagAt) - start));
        m_pos = end;
        if (!m_cut && endTagAt >= 0)
            closeTop();
    }

    // Where "</name" followed by a space, '/' or '>' starts, from `from`;
    // -1 when nowhere.
    qsizetype findEndTag(const std::string &name, qsizetype from) const
    {
        const QString needle = QStringLiteral("</") + QString::fromLatin1(name.data(), qsizetype(name.size()));
        for (qsizetype at = m_in.indexOf(needle, from, Qt::CaseInsensitive); at >= 0;
             at = m_in.indexOf(needle, at + needle.size(), Qt::CaseInsensitive)) {
            const QChar after = this->at(at + needle.size());
            if (after.isNull() || isSpace(after) || after == u'/' || after == u'>')
                return at;
        }
        return -1;
    }

    // Just past the end tag closing raw text from m_pos; the page's end
    // when there is none.
    qsizetype endOfRawText(const std::string &name) const
    {
        const qsizetype at = findEndTag(name, m_pos);
        if (at < 0)
            return m_in.size();
        const qsizetype close = m_in.indexOf(u'>', at);
        return close < 0 ? m_in.size() : close + 1;
    }

    // Writes and counts a start tag; false (and the page cut) past a limit.
    bool open(const std::string &name, const ElementInfo &info, const std::vector<Attribute> &attributes)
    {
        const bool table = info.kind == Kind::Table;
        // Cells only ever open inside a table.
        const int cellCost = info.kind == Kind::Cell ? 1 << std::min<std::size_t>(m_tables.size() - 1, 30) : 0;
        const bool picture = name == "img";
        if (m_elements >= m_limits.maxElements || (info.kind == Kind::Li && m_listItems >= m_limits.maxListItems)
            || (picture && m_pictureCount >= m_limits.maxPictures) || (info.kind != Kind::Void && int(m_open.size()) >= m_limits.maxDepth)
            || (table && int(m_tables.size()) >= m_limits.maxTableDepth)
            || cellCost > m_limits.maxTableCells - m_tableCells) {
            m_cut = true;
            return false;
        }
        QString tag;
        tag += u'<';
        tag += QLatin1StringView(name.data(), qsizetype(name.size()));
        QString source;
        Wrap wrap = m_open.empty() ? Wrap::Spaces : m_open.back().wrap;
        if (info.kind == Kind::Pre && wrap == Wrap::Spaces)
            wrap = Wrap::NewLines;
        if (info.kind == Kind::Nobr)
            wrap = Wrap::Nowhere;
        for (const Attribute &attribute : attributes) {
            const std::string attributeName = asciiName(attribute.name, kMaxAttributeNameLength);
            if (attributeName.empty())
                continue;
            tag += u' ';
            tag += QLatin1StringView(attributeName.data(), qsizetype(attributeName.size()));
            tag += u"=\"";
            for (QChar c : attribute.value) {
                if (c == u'"')
                    tag += u"&quot;";
                else if (c == u'<')
                    tag += u"&lt;";
                else if (c == u'>')
                    tag += u"&gt;";
                else
                    tag += c;
            }
            tag += u'"';
            if (attributeName == "nowrap"
                || (attributeName == "style" && attribute.value.contains(u"white-space", Qt::CaseInsensitive)))
                wrap = Wrap::Nowhere;
            if (picture && attributeName == "src")
                source = attribute.value.toString();
        }
        tag += info.kind == Kind::Void ? QStringView(u" />") : QStringView(u">");
        if (m_out.size() + tag.size() > m_limits.maxPageChars || !countPicture(source)) {
            m_cut = true;
            return false;
        }
        m_out += tag;
        ++m_elements;
        m_tableCells += cellCost;
        m_listItems += info.kind == Kind::Li;
        m_pictureCount += picture;
        if (info.block || info.kind == Kind::Void || info.kind == Kind::Table || info.kind == Kind::Tr
            || info.kind == Kind::Section)
            m_wordChars = 0;  // a line can break here
        if (info.kind == Kind::Void)
            return true;
        const int index = int(m_open.size());
        m_open.push_back({name, info.kind, info.block, wrap, m_out.size()});
        m_byName[name].push_back(index);
        if (table)
            m_tables.push_back(index);
        if (info.kind == Kind::Cell || info.kind == Kind::Caption)
            m_cells.push_back(index);
        if (table || info.kind == Kind::Section || info.kind == Kind::Tr || info.kind == Kind::Cell
            || info.kind == Kind::Caption)
            m_tableParts.push_back(index);
        return true;
    }

    // Adds the picture at `source` to the pixels shown; false past the limit.
    bool countPicture(const QString &source)
    {
        if (source.isEmpty() || !m_limits.pictureArea || m_pictures.contains(source))
            return true;
        const qint64 area = m_limits.pictureArea(source);
        if (area > m_limits.maxPicturePixels - m_pixels)
            return false;
        m_pixels += area;
        m_pictures.insert(source);
        return true;
    }

    void closeTop()
    {
        const Open &top = m_open.back();
        const int index = int(m_open.size()) - 1;
        m_out += u"</";
        m_out += QLatin1StringView(top.name.data(), qsizetype(top.name.size()));
        m_out += u'>';
        if (top.block || isTableRowLevel(top.kind))
            m_wordChars = 0;
        auto popIf = [index](std::vector<int> &v) {
            if (!v.empty() && v.back() == index)
                v.pop_back();
        };
        popIf(m_byName[top.name]);
        popIf(m_tables);
        popIf(m_cells);
        popIf(m_tableParts);
        m_open.pop_back();
    }

    void closeDownTo(int index)
    {
        while (index >= 0 && int(m_open.size()) > index)
            closeTop();
    }

    void closeAbove(int index)
    {
        while (int(m_open.size()) > index + 1)
            closeTop();
    }

    static int last(const std::vector<int> &v) { return v.empty() ? -1 : v.back(); }

    int openIndex(const std::string &name) const
    {
        const auto found = m_byName.find(name);
        return found == m_byName.end() ? -1 : last(found->second);
    }

    int openKind(Kind kind) const
    {
        for (int i = int(m_open.size()) - 1; i >= 0; --i)
            if (m_open[std::size_t(i)].kind == kind)
                return i;
        return -1;
    }

    QStringView m_in;
    const PageLimits &m_limits;
    QStringView m_notice;
    qsizetype m_pos = 0;
    QString m_out;
    bool m_cut = false;

    std::vector<Open> m_open;
    std::unordered_map<std::string, std::vector<int>> m_byName;  // stack indices by element name
    std::vector<int> m_tables;      // stack indices of open tables
    std::vector<int> m_cells;       // … of open cells and captions
    std::vector<int> m_tableParts;  // … of open tables, row groups, rows, cells and captions
    std::vector<Attribute> m_attributes;

    int m_elements = 0;
    int m_tableCells = 0;  // weighted as PageLimits says
    int m_listItems = 0;
    int m_pictureCount = 0;
    qsizetype m_textChars = 0;
    qsizetype m_wordChars = 0;  // since the last place a line can break
    qint64 m_pixels = 0;
    QSet<QString> m_pictures;
    bool m_seenHtml = false;
    bool m_seenHead = false;
    bool m_seenBody = false;
};

} // namespace

QString boundPage(QStringView html, const PageLimits &limits, QStringView notice)
{
    return Bounder(html, limits, notice).run();
}
