// The HTML view against hostile pages: how long each holds the window
// before its first frame, the longest stall after it, and the resident
// memory it takes, beside the vendor's own score list page of 100 rows
// measured in the same run.
//
//   QT_QPA_PLATFORM=offscreen build/bench/htmlview_bench [--quick]
//
// --quick leaves out the pages of tens of megabytes.
#include "htmlview.h"

#ifdef PEG_BENCH_SERVER_PAGES
#include "pages.h"
#endif

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <cstdio>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

namespace {

constexpr QSize kViewSize(479, 505);  // the high-score window's view
// The event loop is run after the first frame until it has been this long
// without a call taking more than kIdleCallMs.
constexpr double kIdleCallMs = 2.0;
constexpr int kIdleCalls = 20;
constexpr int kListRows = 100;  // the server's list page holds up to 100 rows

double msSince(const QElapsedTimer &timer) { return double(timer.nsecsElapsed()) / 1e6; }

// Resident memory from /proc/self/status ("VmRSS" or "VmHWM"), in KiB.
qint64 statusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Lets the peak resident size start again from the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// ---- pages -----------------------------------------------------------

QString repeated(const QString &piece, qsizetype times)
{
    QString out;
    out.reserve(piece.size() * times);
    for (qsizetype i = 0; i < times; ++i)
        out += piece;
    return out;
}

QString page(const QString &body)
{
    return QStringLiteral("<html><head><title>Pegsquare High Scores</title></head><body bgcolor=\"#D2C584\">"
                          "<h1>Pegsquare High Scores</h1>")
        + body + QStringLiteral("</body></html>");
}

// The vendor server's list page with `rows` rows.
QString scoreList(int rows)
{
#ifdef PEG_BENCH_SERVER_PAGES
    std::vector<StoredScore> scores;
    for (int i = 0; i < rows; ++i)
        scores.push_back({"Player with a long name " + std::to_string(i), 100000 - i, "Tue 9 Apr 2024 12:34", {}, i});
    return QString::fromStdString(scoreListPage(scores, "http://www.example.com"));
#else
    // The same shape as the server writes it.
    QString html = QStringLiteral(
        "<html>\n<head>\n<title>Pegsquare High Scores</title>\n</head>\n<body bgcolor=\"#D2C584\">\n<center>\n"
        "<h1><font face=\"Arial\" color=\"#800000\">Pegsquare High Scores</font></h1>\n"
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"5\" width=\"80%\" bgcolor=\"#E6DCAB\">\n");
    for (int i = 0; i < rows; ++i)
        html += QStringLiteral("<tr bgcolor=\"#DCCF96\"><td align=\"right\"><font face=\"Arial\">%1</font></td>"
                               "<td align=\"left\"><font face=\"Arial\">Player with a long name %1</font></td>"
                               "<td align=\"right\"><font face=\"Arial\"><b>%2</b></font></td>"
                               "<td align=\"center\"><font face=\"Arial\">Tue 9 Apr 2024 12:34</font></td></tr>\n")
                    .arg(i + 1)
                    .arg(100000 - i);
    return html + QStringLiteral("</table>\n</center>\n</body>\n</html>\n");
#endif
}

// A GIF of one colour, its LZW data written here (Qt writes no GIF). The
// first palette entry's red is `shade`, so that pictures can differ.
QByteArray solidGif(int width, int height, unsigned char shade)
{
    QByteArray out("GIF89a");
    const auto word = [&out](int v) {
        out += char(v & 0xFF);
        out += char((v >> 8) & 0xFF);
    };
    word(width);
    word(height);
    out += char(0x80);  // a global palette of two colours
    out += char(0);
    out += char(0);
    out += char(shade);
    out += char(0);
    out += char(0);
    out += char(0xFF);
    out += char(0xFF);
    out += char(0xFF);
    out += ',';
    word(0);
    word(0);
    word(width);
    word(height);
    out += char(0);
    constexpr int kMinCodeSize = 2, kClear = 4, kEnd = 5;
    out += char(kMinCodeSize);

    QByteArray data;
    quint32 bits = 0;
    int bitCount = 0;
    int codeSize = kMinCodeSize + 1;
    const auto put = [&](int code) {
        bits |= quint32(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            data += char(bits & 0xFF);
            bits >>= 8;
            bitCount -= 8;
        }
    };
    std::unordered_map<quint32, int> dictionary;
    int next = kEnd + 1;
    put(kClear);
    int prefix = 0;  // every pixel is colour 0
    const qint64 pixels = qint64(width) * height;
    for (qint64 i = 1; i < pixels; ++i) {
        const quint32 key = quint32(prefix) << 8;
        const auto found = dictionary.find(key);
        if (found != dictionary.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        dictionary.emplace(key, next++);
        if (next == (1 << codeSize) + 1 && codeSize < 12)
            ++codeSize;
        if (next == 4096) {
            put(kClear);
            dictionary.clear();
            next = kEnd + 1;
            codeSize = kMinCodeSize + 1;
        }
        prefix = 0;
    }
    put(prefix);
    put(kEnd);
    if (bitCount > 0)
        data += char(bits & 0xFF);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out += char(block.size());
        out += block;
    }
    out += char(0);
    out += ';';
    return out;
}

QString gifAddress(const QByteArray &gif) { return QStringLiteral("data:image/gif;base64,") + QString::fromLatin1(gif.toBase64()); }

QString bigPictures(int count, int side)
{
    const QByteArray gif = solidGif(side, side, 0);
    QBuffer buffer;
    buffer.setData(gif);
    buffer.open(QIODevice::ReadOnly);
    const QImage check = QImageReader(&buffer, "gif").read();
    if (check.size() != QSize(side, side))
        std::fprintf(stderr, "the benchmark's own GIF does not decode\n");
    QString body = QStringLiteral("<p>Pictures</p>");
    for (int i = 0; i < count; ++i) {
        QByteArray shaded = gif;
        shaded[13 + 0] = char(i);  // the first palette entry's red
        body += QStringLiteral("<img src=\"%1\">").arg(gifAddress(shaded));
    }
    return page(body);
}

// Tables nested `depth` deep, each cell of `rows` × `columns`.
QString tableTree(int depth, int rows, int columns)
{
    if (depth == 0)
        return QStringLiteral("x");
    const QString inner = tableTree(depth - 1, rows, columns);
    QString html = QStringLiteral("<table border=\"1\">");
    for (int r = 0; r < rows; ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < columns; ++c)
            html += QStringLiteral("<td>") + inner + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString manyRows(int rows)
{
    QString body = QStringLiteral("<table border=\"1\">");
    for (int i = 0; i < rows; ++i)
        body += QStringLiteral("<tr><td>%1</td><td>Player %1</td><td>%2</td></tr>").arg(i).arg(100000 - i);
    return page(body + QStringLiteral("</table>"));
}

struct Case {
    const char *name;
    std::function<QString()> html;
    bool large;  // left out with --quick
};

struct Figures {
    qsizetype bytes = 0;
    double boundMs = 0;
    double firstFrameMs = 0;
    double stallMs = 0;
    double rssMib = 0;
    bool cut = false;
};

Figures measure(THtmlView &view, const QString &html)
{
    Figures f;
    f.bytes = html.toUtf8().size();
    view.LoadText(QStringLiteral("<p>blank</p>"));
    view.grab();
    QCoreApplication::processEvents();
    const qint64 rssBefore = statusKib("VmRSS:");
    resetPeak();

    QElapsedTimer timer;
    timer.start();
    const QString bounded = THtmlView::boundedPage(html);
    f.boundMs = msSince(timer);
    f.cut = bounded.contains(THtmlView::kPageCutNotice);

    timer.restart();
    view.LoadText(html);
    const QPixmap shot = view.grab();
    f.firstFrameMs = msSince(timer);
    for (int quiet = 0; quiet < kIdleCalls;) {
        timer.restart();
        QCoreApplication::processEvents();
        const double ms = msSince(timer);
        f.stallMs = std::max(f.stallMs, ms);
        quiet = ms < kIdleCallMs ? quiet + 1 : 0;
    }
    f.rssMib = double(statusKib("VmHWM:") - rssBefore) / 1024.0;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;

    THtmlView view(nullptr, QStringLiteral("displayhtml"));
    view.resize(kViewSize);
    view.show();
    QCoreApplication::processEvents();

    const QString cell = QStringLiteral("<table><tr><td>");
    const std::vector<Case> cases = {
        {"tables nested 20 deep", [&] { return page(repeated(cell, 20) + QStringLiteral("deep")); }, false},
        {"tables nested 5000 deep", [&] { return page(repeated(cell, 5000) + QStringLiteral("deep")); }, false},
        {"tables 4 deep, 3 x 3 cells each", [] { return page(tableTree(4, 3, 3)); }, false},
        {"lists and blocks nested 20000 deep",
         [] { return page(repeated(QStringLiteral("<ul><li><blockquote><dl><dd>x"), 20000)); }, false},
        {"divs nested 100000 deep", [] { return page(repeated(QStringLiteral("<div>"), 100000) + QStringLiteral("x")); }, false},
        {"table of 280000 rows", [] { return manyRows(280000); }, true},
        {"8 MiB of text", [] { return page(repeated(QStringLiteral("highscore "), 800 * 1024)); }, false},
        {"100000 characters, one word", [] { return page(QString(100000, u'w')); }, false},
        {"sixty 4096 x 4096 GIFs", [] { return bigPictures(60, 4096); }, false},
        {"sixty 1024 x 1024 GIFs", [] { return bigPictures(60, 1024); }, false},
        {"12000 list items", [] { return page(QStringLiteral("<ul>") + repeated(QStringLiteral("<li>item"), 12000)); }, false},
        {"12000 pictures named by address",
         [] { return page(repeated(QStringLiteral("<img src=\"a.gif\" width=\"9\" height=\"9\"> "), 12000)); }, false},
        {"12000 links", [] { return page(repeated(QStringLiteral("<a href=\"http://x/\">x</a> "), 12000)); }, false},
        {"12000 line breaks", [] { return page(repeated(QStringLiteral("x<br>"), 12000)); }, false},
        {"1600 cells of 60 characters",
         [] {
             const QString text = QStringLiteral("Some words of text written into this cell to fill it up well");
             return page(QStringLiteral("<table border=\"1\">")
                         + repeated(QStringLiteral("<tr><td>%1</td><td>%1</td><td>%1</td><td>%1</td></tr>").arg(text), 400));
         }, false},
        {"sixty words of 2000 characters", [] { return page(repeated(QString(2000, u'w') + u' ', 60)); }, false},
        {"100000 characters in <nobr>", [] { return page(QStringLiteral("<nobr>") + repeated(QStringLiteral("word "), 20000)); }, false},
        {"64 MiB of '<'", [] { return QString(64 * 1024 * 1024, u'<'); }, true},
        {"64 MiB of nested tags", [] { return repeated(QStringLiteral("<i>"), 64 * 1024 * 1024 / 3); }, true},
        {"64 MiB of unmatched end tags", [] { return page(repeated(QStringLiteral("</i>"), 16 * 1024 * 1024)); }, true},
    };

    const Figures peer = measure(view, scoreList(kListRows));
    std::printf("HTML view at %d x %d: LoadText and the first frame (grab), then the longest event-loop stall\n"
                "until the view is idle, and the growth of peak resident memory.\n\n",
                kViewSize.width(), kViewSize.height());
    std::printf("%-36s %10s %9s %12s %7s %9s %9s %5s\n", "page", "bytes", "bound ms", "1st frame ms", "x peer",
                "stall ms", "peak MiB", "cut");
    const auto row = [&](const char *name, const Figures &f) {
        std::printf("%-36s %10lld %9.1f %12.1f %7.2f %9.1f %9.1f %5s\n", name, static_cast<long long>(f.bytes),
                    f.boundMs, f.firstFrameMs, f.firstFrameMs / peer.firstFrameMs, f.stallMs, f.rssMib,
                    f.cut ? "yes" : "no");
        std::fflush(stdout);
    };
    row("peer: the server's list, 100 rows", peer);
    for (const Case &c : cases) {
        if (quick && c.large)
            continue;
        row(c.name, measure(view, c.html()));
    }
    return 0;
}
