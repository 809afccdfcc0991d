// The HTML view as the high-score window uses it: loading pages, anchors,
// link clicks, resources that never come from disk, and the page colour.
#include "htmlview.h"

#include "heldrows.h"

#include "pixels.h"

#include <QBuffer>
#include <QtEndian>
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>

// Readable failure messages.
void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
void PrintTo(const QColor &color, std::ostream *os) { *os << color.name().toStdString(); }

namespace {

const QColor kDefBackground(210, 197, 132);

// A shown view of the size the high-score window gives it.
std::unique_ptr<THtmlView> shownView()
{
    auto view = std::make_unique<THtmlView>(nullptr, QStringLiteral("displayhtml"));
    view->resize(479, 505);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    return view;
}

// A page far longer than the view, with `extra` at its top and the anchor
// "far" two thirds of the way down.
QString longPage(const QString &word, const QString &extra = QString())
{
    QString html = QStringLiteral("<html><body>") + extra;
    for (int i = 0; i < 150; ++i) {
        if (i == 100)
            html += QStringLiteral("<p><a name=\"far\">Far away</a></p>");
        html += QStringLiteral("<p>%1 %2</p>").arg(word).arg(i);
    }
    return html + QStringLiteral("</body></html>");
}

QScrollBar *vbar(THtmlView &view) { return view.verticalScrollBar(); }

// The centre of the first occurrence of `text`, in viewport coordinates.
QPoint centreOf(THtmlView &view, const QString &text)
{
    const QTextCursor found = view.document()->find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor start(found);
    start.setPosition(found.selectionStart());
    QTextCursor end(found);
    end.setPosition(found.selectionEnd());
    const QRect a = view.cursorRect(start), b = view.cursorRect(end);
    return QPoint((a.left() + b.left()) / 2, a.center().y());
}

// The top of the anchor text "Far away" in the viewport.
int farTop(THtmlView &view) { return view.cursorRect(view.document()->find(QStringLiteral("Far away"))).top(); }

TEST(HtmlView, EmptyDocumentChangesNothing)
{
    auto view = shownView();
    const QImage blank = pixels::grab(view.get());
    view->LoadText(QString());
    EXPECT_EQ(pixels::grab(view.get()), blank);
    EXPECT_TRUE(view->toPlainText().isEmpty());

    view->LoadText(longPage(QStringLiteral("alpha")), QStringLiteral("list.htm"));
    vbar(*view)->setValue(vbar(*view)->maximum() / 2);
    const QString html = view->toHtml();
    const int position = vbar(*view)->value();
    const QImage page = pixels::grab(view.get());
    view->LoadText(QString());
    EXPECT_EQ(view->toHtml(), html);
    EXPECT_EQ(vbar(*view)->value(), position);
    EXPECT_EQ(view->currentReference(), QStringLiteral("list.htm"));
    EXPECT_EQ(pixels::grab(view.get()), page);
}

// A second page replaces the first; where it shows follows the reference.
TEST(HtmlView, SecondLoadReplacesTheFirst)
{
    struct Row {
        const char *name;
        QString firstReference, secondReference;
        bool fromTop;
    };
    const Row rows[] = {
        {"empty reference: always the top", {}, {}, true},
        {"another file: the top", QStringLiteral("a.htm"), QStringLiteral("b.htm"), true},
        {"undefined anchor of another file: the top", QStringLiteral("a.htm"), QStringLiteral("b.htm#nowhere"), true},
        {"the same reference keeps the place", QStringLiteral("a.htm"), QStringLiteral("a.htm"), false},
    };
    auto view = shownView();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        view->LoadText(longPage(QStringLiteral("alpha")), row.firstReference);
        const int middle = vbar(*view)->maximum() / 2;
        ASSERT_GT(middle, 0);
        vbar(*view)->setValue(middle);

        view->LoadText(longPage(QStringLiteral("beta")), row.secondReference);
        EXPECT_FALSE(view->toPlainText().contains(QStringLiteral("alpha")));
        EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("beta 149")));
        EXPECT_EQ(vbar(*view)->value(), row.fromTop ? 0 : middle);
    }
}

TEST(HtmlView, ReferenceAnchorScrollsToIt)
{
    for (const QString &reference : {QStringLiteral("list.htm#far"), QStringLiteral("#far")}) {
        SCOPED_TRACE(reference.toStdString());
        auto view = shownView();
        view->LoadText(longPage(QStringLiteral("alpha")), reference);
        EXPECT_GT(vbar(*view)->value(), 0);
        EXPECT_LE(std::abs(farTop(*view)), 10);
    }
}

TEST(HtmlView, LinkClickReportsTheAddressAsWritten)
{
    struct Row {
        QString written;  // in the page's markup
        QString src;      // as the handler must see it
    };
    const Row rows[] = {
        {QStringLiteral("http://example.com/a b?x=1&amp;y=2"), QStringLiteral("http://example.com/a b?x=1&y=2")},
        {QStringLiteral("/relative/path"), QStringLiteral("/relative/path")},
        {QStringLiteral("#top"), QStringLiteral("#top")},
        {QStringLiteral("mailto:x@y"), QStringLiteral("mailto:x@y")},
        {QStringLiteral("list%20page.htm#Caf%C3%A9"), QStringLiteral("list%20page.htm#Caf%C3%A9")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.src.toStdString());
        auto view = shownView();
        int calls = 0;
        QString src;
        std::optional<bool> handledOnEntry;
        view->OnHotSpotClick = [&](THtmlView *sender, const QString &address, bool &handled) {
            EXPECT_EQ(sender, view.get());
            ++calls;
            src = address;
            handledOnEntry = handled;
        };
        view->LoadText(QStringLiteral("<p>Before <a href=\"%1\">the link</a> after</p>").arg(row.written));
        const QString html = view->toHtml();

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centreOf(*view, QStringLiteral("the link")));
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(src, row.src);
        EXPECT_EQ(handledOnEntry, false);
        EXPECT_EQ(view->toHtml(), html);  // no navigation, no error page
    }
}

// A link reached with Tab and activated with Return is reported the same.
TEST(HtmlView, KeyboardActivationReportsTheAddressAsWritten)
{
    auto view = shownView();
    QStringList reported;
    view->OnHotSpotClick = [&](THtmlView *, const QString &address, bool &) { reported << address; };
    view->LoadText(QStringLiteral("<p><a href=\"/one\">one</a> <a href=\"list%20page.htm#Caf%C3%A9\">two</a></p>"));
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_Tab);
    QTest::keyClick(view.get(), Qt::Key_Tab);
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(reported, QStringList{QStringLiteral("list%20page.htm#Caf%C3%A9")});
}

// An in-page link scrolls to its anchor unless the handler has dealt with
// the click.
TEST(HtmlView, InPageLinkScrollsToTheAnchor)
{
    for (const bool handledByHandler : {false, true}) {
        SCOPED_TRACE(handledByHandler ? "handled" : "not handled");
        auto view = shownView();
        view->OnHotSpotClick = [&](THtmlView *, const QString &, bool &handled) { handled = handledByHandler; };
        view->LoadText(longPage(QStringLiteral("alpha"), QStringLiteral("<p><a href=\"#far\">Go far</a></p>")));
        ASSERT_EQ(vbar(*view)->value(), 0);

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centreOf(*view, QStringLiteral("Go far")));
        if (handledByHandler) {
            EXPECT_EQ(vbar(*view)->value(), 0);
        } else {
            EXPECT_GT(vbar(*view)->value(), 0);
            EXPECT_LE(std::abs(farTop(*view)), 10);
        }
    }
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

QImage solid(int w, int h, const QColor &color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QUrl dataUrl(const char *type, const QByteArray &bytes)
{
    return QUrl(QStringLiteral("data:%1;base64,%2").arg(QLatin1String(type), QLatin1String(bytes.toBase64())));
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8
        && std::abs(a.blue() - b.blue()) <= 8;
}

// Pictures inside the page are decoded; anything else gives the empty
// 1 × 1 stand-in.
TEST(HtmlView, DataImagesAreDecoded)
{
    // A 4 × 4 red GIF (Qt writes no GIF).
    const QByteArray redGif = QByteArray::fromBase64("R0lGODlhBAAEAIAAAP8AAAAAACwAAAAABAAEAAACCgQIECBAgAABAgUAOw==");
    struct Row {
        const char *name;
        QUrl url;
        QSize size;
        QColor color;
    };
    const Row rows[] = {
        {"gif", dataUrl("image/gif", redGif), {4, 4}, Qt::red},
        {"bmp", dataUrl("image/bmp", encoded(solid(6, 3, Qt::blue), "BMP")), {6, 3}, Qt::blue},
        {"jpeg", dataUrl("image/jpeg", encoded(solid(16, 8, Qt::green), "JPEG")), {16, 8}, Qt::green},
        {"type taken from the bytes", dataUrl("image/png", redGif), {4, 4}, Qt::red},
        {"too wide", dataUrl("image/bmp", encoded(solid(THtmlView::kMaxImageSide + 1, 1, Qt::blue), "BMP")), {1, 1}, {}},
        {"too high", dataUrl("image/jpeg", encoded(solid(1, THtmlView::kMaxImageSide + 1, Qt::blue), "JPEG")), {1, 1}, {}},
        {"truncated gif", dataUrl("image/gif", redGif.left(20)), {1, 1}, {}},
        {"truncated jpeg", dataUrl("image/jpeg", encoded(solid(16, 8, Qt::green), "JPEG").left(200)), {1, 1}, {}},
        {"not base64 text", QUrl(QStringLiteral("data:image/gif,hello")), {1, 1}, {}},
    };
    THtmlView view;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QImage image = view.loadResource(QTextDocument::ImageResource, row.url).value<QPixmap>().toImage();
        ASSERT_EQ(image.size(), row.size);
        const QColor pixel = image.pixelColor(0, 0);
        if (row.color.isValid())
            EXPECT_TRUE(near(pixel, row.color)) << pixel.name().toStdString();
        else
            EXPECT_EQ(pixel.alpha(), 0);
    }
}

// Pictures named by address never come from the disk, whatever the address
// looks like; only a picture inside the page shows.
TEST(HtmlView, PicturesNeverComeFromTheDisk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString png = dir.filePath(QStringLiteral("red.png"));
    ASSERT_TRUE(solid(40, 40, Qt::red).save(png));
    const QString addresses[] = {
        QUrl::fromLocalFile(png).toString(), png, QStringLiteral("red.png"), QStringLiteral("qrc:/nothing.png")};
    QString html = QStringLiteral("<p>");
    for (const QString &address : addresses)
        html += QStringLiteral("<img src=\"%1\" width=\"40\" height=\"40\">").arg(address);
    html += QStringLiteral("<img src=\"file:///etc/passwd\"></p>");

    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());  // so that the relative address names the file too
    const auto hasRed = [](const QImage &shot) {
        return pixels::inkBox(shot, [](QColor c) { return near(c, Qt::red); }).isValid();
    };
    for (const bool withInlinePicture : {false, true}) {
        SCOPED_TRACE(withInlinePicture ? "with a data: picture" : "addresses only");
        auto view = shownView();
        const QString inlinePicture = QStringLiteral("<p><img src=\"%1\" width=\"40\" height=\"40\"></p>")
            .arg(dataUrl("image/bmp", encoded(solid(4, 4, Qt::red), "BMP")).toString());
        view->LoadText(html + (withInlinePicture ? inlinePicture : QString()));
        EXPECT_EQ(hasRed(pixels::grab(view.get())), withInlinePicture);
        const QVariant passwd = view->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("file:///etc/passwd")));
        EXPECT_NE(passwd.typeId(), QMetaType::QByteArray);
    }
    QDir::setCurrent(cwd);
}

// A page read in the background shows once it is ready, with its pictures
// and within the page limits; a page asked for later outdates one still
// being read, and a view gone before its page is ready is left alone.
TEST(HtmlView, APageReadInTheBackgroundShowsUnlessOutdated)
{
    const QString picture = QStringLiteral("<p><img src=\"%1\" width=\"40\" height=\"40\"></p>")
                                .arg(dataUrl("image/bmp", encoded(solid(4, 4, Qt::red), "BMP")).toString());
    const auto hasRed = [](const QImage &shot) {
        return pixels::inkBox(shot, [](QColor c) { return near(c, Qt::red); }).isValid();
    };
    enum class Then { Nothing, LoadText, Background };
    struct Row {
        const char *name;
        Then then;
        const char *shown;
        bool red;
    };
    const Row rows[] = {
        {"read and shown", Then::Nothing, "alpha", true},
        {"outdated by LoadText", Then::LoadText, "beta", false},
        {"outdated by another in the background", Then::Background, "beta", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto view = shownView();
        view->LoadTextInBackground(picture + longPage(QStringLiteral("alpha")));
        EXPECT_TRUE(view->isLoading());
        if (row.then == Then::LoadText)
            view->LoadText(longPage(QStringLiteral("beta")));
        else if (row.then == Then::Background)
            view->LoadTextInBackground(longPage(QStringLiteral("beta")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isLoading(); }, 10000));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        EXPECT_TRUE(view->toPlainText().contains(QString::fromLatin1(row.shown))) << row.name;
        EXPECT_EQ(view->toPlainText().contains(QStringLiteral("alpha")), row.then == Then::Nothing);
        EXPECT_EQ(hasRed(pixels::grab(view.get())), row.red);
    }
    // Limits hold for a page read in the background too.
    auto view = shownView();
    QString deep;
    for (int i = 0; i < THtmlView::kMaxPageDepth * 2; ++i)
        deep += QStringLiteral("<div>");
    view->LoadTextInBackground(deep + QStringLiteral("inside"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isLoading(); }, 10000));
    EXPECT_TRUE(view->toHtml().contains(QStringLiteral("too large to show")));
    // A view gone before its page is ready.
    auto gone = shownView();
    gone->LoadTextInBackground(longPage(QStringLiteral("gamma")));
    gone.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

// A long table, as the score list is: `rows` rows of four cells with the
// list's alignments and colours; `cell(i)` may replace the second cell.
QString longTable(int rows, const std::function<QString(int)> &cell = {})
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"5\" width=\"80%\">");
    for (int i = 0; i < rows; ++i) {
        const QString second = cell ? cell(i) : QStringLiteral("<td align=\"left\">Player number %1</td>").arg(i);
        // Joined, not formatted: a cell may hold a data: address with "%".
        html += QStringLiteral("<tr bgcolor=\"%1\"><td align=\"right\">%2</td>")
                    .arg(i % 2 ? QStringLiteral("#DCCF96") : QStringLiteral("#E6DCAB"))
                    .arg(i + 1)
              + second
              + QStringLiteral("<td align=\"right\"><b>%1</b></td><td align=\"center\">12/9/26</td></tr>\n")
                    .arg(9000 - 13 * i);
    }
    return html + QStringLiteral("</table>");
}

// A page read in the background with long tables is laid out a few rows
// at a time and shows once whole: it then looks exactly as the same page
// handed over at once, at the top, the middle and the end, and the anchor
// of its reference is found in the rows that came last.
TEST(HtmlView, ALongTableHandedOverInStepsLooksAsTheWholePage)
{
    const QString picture = QStringLiteral("<img src=\"%1\" width=\"12\" height=\"12\">")
                                .arg(dataUrl("image/bmp", encoded(solid(3, 3, Qt::red), "BMP")).toString());
    const QString far = QStringLiteral("<p><a name=\"far\">Far away</a></p>");
    struct Row {
        const char *name;
        QString page;
        bool inSteps;
    };
    const Row rows[] = {
        {"the score list", QStringLiteral("<h1>High Scores</h1>") + longTable(100) + QStringLiteral("<hr>") + far,
         true},
        {"spans down and across, never cut",
         longTable(90,
                   [](int i) {
                       if (i % 7 == 3)
                           return QStringLiteral("<td rowspan=\"4\">four rows from %1</td>").arg(i);
                       if (i % 7 >= 4)
                           return QString();  // covered by the span above
                       return QStringLiteral("<td>plain %1</td>").arg(i);
                   }) + QStringLiteral("<table><tr><td colspan=\"2\">wide</td></tr></table>"),
         true},
        {"two long tables, the anchor in the second",
         longTable(40) + QStringLiteral("<p>between</p>")
             + longTable(60, [&](int i) {
                   return i == 50 ? QStringLiteral("<td><a name=\"far\">Far away</a></td>")
                                  : QStringLiteral("<td>%1 second</td>").arg(i);
               }),
         true},
        {"pictures and lines in the cells", longTable(70, [&](int i) {
             return QStringLiteral("<td>%1 line one<br>line <i>two</i> ").arg(i) + picture + QStringLiteral("</td>");
         }),
         true},
        {"a long table holding a table is handed over whole",
         longTable(60, [](int i) {
             return i == 30 ? QStringLiteral("<td><table border=\"1\"><tr><td>inner</td></tr></table></td>")
                            : QStringLiteral("<td>%1</td>").arg(i);
         }),
         false},
        {"a short table is handed over whole", longTable(HeldRows::kCellsPerStep / 2) + far, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QTextDocument parsed;
        parsed.setHtml(THtmlView::boundedPage(row.page));
        EXPECT_EQ(!HeldRows::holdBack(parsed).isEmpty(), row.inSteps);

        auto whole = shownView();
        whole->LoadText(row.page, QStringLiteral("list#far"));
        auto inSteps = shownView();
        inSteps->LoadTextInBackground(row.page, QStringLiteral("list#far"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !inSteps->isLoading(); }, 10000));
        EXPECT_TRUE(inSteps->updatesEnabled());
        EXPECT_EQ(inSteps->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        EXPECT_EQ(vbar(*inSteps)->maximum(), vbar(*whole)->maximum());
        EXPECT_EQ(vbar(*inSteps)->value(), vbar(*whole)->value());
        for (const int at : {0, vbar(*whole)->maximum() / 2, vbar(*whole)->maximum()}) {
            vbar(*whole)->setValue(at);
            vbar(*inSteps)->setValue(at);
            EXPECT_TRUE(pixels::grab(inSteps.get()) == pixels::grab(whole.get())) << "scrolled to " << at;
        }
    }

    // A page asked for while a long one is still being finished replaces
    // it; the view draws again and no step of the old page follows.
    auto view = shownView();
    view->LoadTextInBackground(longTable(100));
    QTimer safety;
    safety.start(10000);
    while (view->updatesEnabled() && safety.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_FALSE(view->updatesEnabled());
    EXPECT_TRUE(view->isLoading());
    view->LoadText(longPage(QStringLiteral("beta")));
    EXPECT_TRUE(view->updatesEnabled());
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    const QString shown = view->toHtml();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(view->toHtml(), shown);
    EXPECT_TRUE(view->toPlainText().contains(QStringLiteral("beta 149")));
}

// The page's colour fills the whole view, below the text too.
TEST(HtmlView, PageColourFillsTheView)
{
    struct Row {
        const char *name;
        QString page;
        QColor color;
    };
    const Row rows[] = {
        {"before any page", {}, kDefBackground},
        {"page without a colour", QStringLiteral("<html><body><p>Short</p></body></html>"), kDefBackground},
        {"page with its own colour", QStringLiteral("<html><body bgcolor=\"#102030\"><p>Short</p></body></html>"),
         QColor(0x10, 0x20, 0x30)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto view = shownView();
        view->clearFocus();  // no border
        view->LoadText(row.page);
        const QImage shot = pixels::grab(view.get());
        for (const QPoint p : {QPoint(240, 250), QPoint(5, 495), QPoint(470, 495), QPoint(0, 0)})
            EXPECT_EQ(shot.pixelColor(p), row.color) << p.x() << "," << p.y();
        EXPECT_EQ(view->pageBackground(), row.color);
    }
}

// The border shows only while the view has the focus, in the room it
// always keeps, so focusing does not move the page.
TEST(HtmlView, BorderShowsOnlyWhileFocused)
{
    auto view = shownView();
    view->LoadText(QStringLiteral("<p>Short</p>"));
    view->clearFocus();
    ASSERT_FALSE(view->hasFocus());
    const QRect viewport = view->viewport()->geometry();
    EXPECT_EQ(pixels::grab(view.get()).pixelColor(0, 0), kDefBackground);
    view->setFocus();
    ASSERT_TRUE(view->hasFocus());
    EXPECT_EQ(pixels::grab(view.get()).pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(view->viewport()->geometry(), viewport);
}

} // namespace

// A page that would hang or crash Qt's layout shows its start and then says
// the rest is left out.
TEST(HtmlView, HostilePagesShowTheirStartAndANotice)
{
    const auto repeated = [](const QString &piece, int times) { return piece.repeated(times); };
    // A BMP header claiming the largest picture the view takes, without the
    // pixels: it is refused on its size, before anything is decoded.
    QByteArray hugeBmp = encoded(solid(1, 1, Qt::blue), "BMP");
    for (const int field : {18, 22})  // width, height
        qToLittleEndian<qint32>(THtmlView::kMaxImageSide, hugeBmp.data() + field);
    struct Row {
        const char *name;
        QString hostile;
    };
    const Row rows[] = {
        {"tables nested 300 deep", repeated(QStringLiteral("<table><tr><td>"), 300) + QStringLiteral("deep")},
        {"lists and blocks nested 3000 deep", repeated(QStringLiteral("<ul><li><blockquote><dl><dd>x"), 600)},
        {"unclosed paragraphs inside inline elements", repeated(QStringLiteral("<p><b>x"), 3000)},
        {"many rows", repeated(QStringLiteral("<tr><td>row</td></tr>"), THtmlView::kMaxPageTableCells + 1)
                          .prepend(QStringLiteral("<table>"))},
        {"long text", repeated(QStringLiteral("word "), THtmlView::kMaxPageTextChars / 5 + 1)},
        {"one long word", QString(THtmlView::kMaxPageWordChars + 1, u'<')},
        {"huge pictures", repeated(QStringLiteral("<img src=\"%1\">").arg(dataUrl("image/bmp", hugeBmp).toString()), 3)},
        {"many pictures", repeated(QStringLiteral("<img src=\"a.gif\">"), THtmlView::kMaxPagePictures + 1)},
    };
    const QString notice = QStringLiteral("The rest of this page is too large to show.");
    auto view = shownView();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        view->LoadText(QStringLiteral("<html><body><h1>Start of the page</h1>") + row.hostile);
        view->grab();  // lays out and paints the whole view
        const QString shown = view->toPlainText();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("Start of the page"))) << shown.left(80).toStdString();
        EXPECT_TRUE(shown.trimmed().endsWith(notice)) << shown.right(80).toStdString();
    }
}
