#pragma once

#include <QString>
#include <QStringView>

#include <functional>

// How much of a page the text view is given. Qt's HTML layout has no limits
// of its own: nested tables cost it time exponential in their depth, deep
// nesting of any kind overflows its stack, and size costs time and memory.
struct PageLimits {
    int maxDepth = 0;                 // elements open at once
    int maxTableDepth = 0;            // tables open at once
    int maxElements = 0;              // elements in the whole page
    // Table cells, each counting twice for every table around its own:
    // Qt lays a nested table out again in each pass over the one around it.
    int maxTableCells = 0;
    int maxListItems = 0;             // list items in the whole page
    int maxPictures = 0;              // <img> elements in the whole page
    qsizetype maxTextChars = 0;       // characters of text, entities as written
    // Characters of text between two places a line can break: a space, or
    // where a block or line ends; only the latter inside <nobr>, in an
    // element marked nowrap or with its own white-space style, and only a
    // new line in <pre>.
    qsizetype maxWordChars = 0;
    qsizetype maxPageChars = 0;       // characters of the page read, and as rewritten
    qint64 maxPicturePixels = 0;      // pixels of all <img> pictures, each address once
    // The pixels the picture at an <img> address decodes to, 0 when it does
    // not decode. Without it pictures are not counted.
    std::function<qint64(const QString &address)> pictureArea;
};

// `html` rewritten within `limits`, for QTextDocument::setHtml. What the page
// shows up to the first limit it reaches is kept, followed by `notice` (HTML,
// inside the body); the rest is left out. The result is explicit about its
// structure: every element is closed by its own end tag, in order, and each
// one sits where Qt's parser accepts it, so the nesting Qt builds is the one
// counted here. Comments, doctypes, scripts and style sheets are dropped.
// Linear time and memory in the length of `html`, whatever it holds.
QString boundPage(QStringView html, const PageLimits &limits, QStringView notice);
