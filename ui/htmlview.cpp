#include "htmlview.h"

#include "colors.h"
#include "heldrows.h"
#include "jpegdecoder.h"
#include "pagebounds.h"

#include <QApplication>
#include <QBuffer>
#include <QFocusEvent>
#include <QImage>
#include <QImageReader>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <cstdint>

namespace {

bool withinImageBounds(const QSize &size)
{
    return size.isValid() && !size.isEmpty() && size.width() <= THtmlView::kMaxImageSide
        && size.height() <= THtmlView::kMaxImageSide;
}

// The frame size of a JPEG file, read from its first start-of-frame
// segment without decoding anything; invalid when there is none.
QSize jpegFrameSize(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(data.constData());
    const qsizetype n = data.size();
    qsizetype i = 2;  // past the start-of-image marker
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return {};
        const std::uint8_t marker = p[i + 1];
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length field
            i += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)  // end of image or scan before any frame
            return {};
        const int length = (p[i + 2] << 8) | p[i + 3];
        if (length < 2)
            return {};
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8
            && marker != 0xCC;
        if (startOfFrame) {
            if (i + 9 > n)
                return {};
            // length, precision, height, width
            return QSize((p[i + 7] << 8) | p[i + 8], (p[i + 5] << 8) | p[i + 6]);
        }
        i += 2 + length;
    }
    return {};
}

QImage decodeJpegPicture(const QByteArray &data)
{
    if (!withinImageBounds(jpegFrameSize(data)))
        return {};
    const platform::JpegResult result
        = platform::decodeJpeg(reinterpret_cast<const std::uint8_t *>(data.constData()), std::size_t(data.size()));
    if (!result.ok() || !withinImageBounds(QSize(result.image.width, result.image.height)))
        return {};
    const platform::RgbImage &rgb = result.image;
    return QImage(rgb.pixels.data(), rgb.width, rgb.height, qsizetype(rgb.width) * 3, QImage::Format_RGB888).copy();
}

QImage decodeWithQt(const QByteArray &data, const char *format)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    if (!withinImageBounds(reader.size()))
        return {};
    return reader.read();
}

QSize sizeWithQt(const QByteArray &data, const char *format)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    return reader.size();
}

enum class PictureType { None, Gif, Bmp, Jpeg };

// Told apart by the first bytes rather than by the media type the address
// claims.
PictureType pictureType(const QByteArray &data)
{
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return PictureType::Gif;
    if (data.startsWith("BM"))
        return PictureType::Bmp;
    if (data.startsWith("\xFF\xD8\xFF"))
        return PictureType::Jpeg;
    return PictureType::None;
}

// The size a GIF, BMP or JPEG picture declares, read without decoding it;
// invalid for anything else.
QSize pictureSize(const QByteArray &data)
{
    switch (pictureType(data)) {
    case PictureType::Gif: return sizeWithQt(data, "gif");
    case PictureType::Bmp: return sizeWithQt(data, "bmp");
    case PictureType::Jpeg: return jpegFrameSize(data);
    case PictureType::None: break;
    }
    return {};
}

QImage decodePicture(const QByteArray &data)
{
    switch (pictureType(data)) {
    case PictureType::Gif: return decodeWithQt(data, "gif");
    case PictureType::Bmp: return decodeWithQt(data, "bmp");
    case PictureType::Jpeg: return decodeJpegPicture(data);
    case PictureType::None: break;
    }
    return {};
}

// The bytes inside a data: address ("data:[type][;base64],payload"); empty
// for any other address and for one over the size bound.
QByteArray dataUrlPayload(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) != 0)
        return {};
    const QByteArray encoded = url.toEncoded();
    if (encoded.size() > THtmlView::kMaxDataUrlBytes)
        return {};
    const qsizetype comma = encoded.indexOf(',');
    if (comma < 0)
        return {};
    const QByteArray header = encoded.left(comma).toLower();
    QByteArray payload = QByteArray::fromPercentEncoding(encoded.mid(comma + 1));
    if (header.endsWith(";base64"))
        payload = QByteArray::fromBase64(payload);
    return payload;
}

// The pixels the picture at a page's address would be decoded to; 0 for
// one that would not be decoded at all.
qint64 pictureArea(const QString &address)
{
    if (!address.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return 0;
    const QSize size = pictureSize(dataUrlPayload(QUrl(address)));
    return withinImageBounds(size) ? qint64(size.width()) * size.height() : 0;
}

// What stands for every picture the view will not show: it keeps the
// document from looking for the picture anywhere else.
QImage emptyPicture()
{
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A page's resource: a picture from a data: address within the bounds and
// within what is left of `budget` (pixels, counted down), an empty picture
// for any other picture, empty data for anything else. Never null, never
// from a file or the network; safe on any thread (pictures are QImage).
QVariant pageResource(int type, const QUrl &name, bool viewImages, qint64 &budget)
{
    if (type != QTextDocument::ImageResource)
        return QByteArray();  // no style sheets or documents from anywhere
    if (!viewImages)
        return emptyPicture();
    const QByteArray payload = dataUrlPayload(name);
    const QSize size = pictureSize(payload);
    if (!withinImageBounds(size))
        return emptyPicture();
    // Pictures the page names outside <img> (backgrounds) are not counted
    // before the page is shown, so the budget is kept here as well.
    const qint64 area = qint64(size.width()) * size.height();
    if (area > budget)
        return emptyPicture();
    budget -= area;
    const QImage image = decodePicture(payload);
    return image.isNull() ? emptyPicture() : image;
}

// A page's document: its resources come from pageResource with a picture
// budget of its own, so it can be read on any thread.
class PageDocument : public QTextDocument {
public:
    explicit PageDocument(bool viewImages)
        : m_viewImages(viewImages)
    {
    }

protected:
    QVariant loadResource(int type, const QUrl &name) override
    {
        return pageResource(type, name, m_viewImages, m_budget);
    }

private:
    bool m_viewImages;
    qint64 m_budget = THtmlView::kMaxPagePicturePixels;
};

QTextCharFormat formatAt(QTextDocument *document, int position)
{
    QTextCursor cursor(document);
    cursor.setPosition(position + 1);
    return cursor.charFormat();  // the format of the character before the cursor
}

} // namespace

THtmlView::THtmlView(QWidget *parent, const QString &name)
    : QTextBrowser(parent),
      m_defBackground(pegcolors::background()),
      m_defFontName(QStringLiteral("Times New Roman")),
      m_defPreFontName(QStringLiteral("Arial")),
      m_defFontColor(Qt::black),
      m_defHotSpotColor(pegcolors::maroon()),
      m_defVisitedLinkColor(pegcolors::shadowGrey()),
      m_defOverLinkColor(pegcolors::maroon())
{
    setObjectName(name);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, &THtmlView::hotSpotClicked);
    // Each step of a page's held rows waits for a turn of the event loop
    // with nothing else to do. A timer, not a posted call: the loop lets
    // timers wait once they have run, until it is idle, so a chain of
    // posted steps would keep every other timer waiting until the last.
    m_heldRowsTimer = new QTimer(this);
    m_heldRowsTimer->setObjectName(QStringLiteral("heldRowsTimer"));
    m_heldRowsTimer->setSingleShot(true);
    m_heldRowsTimer->setInterval(0);
    connect(m_heldRowsTimer, &QTimer::timeout, this, &THtmlView::appendHeldRows);
    applyStyleSheet();
    applyLook();
}

QString THtmlView::standInFont(const QString &name)
{
    if (name.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Serif");
    if (name.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Sans");
    return name;
}

QString THtmlView::boundedPage(const QString &html)
{
    PageLimits limits;
    limits.maxDepth = kMaxPageDepth;
    limits.maxTableDepth = kMaxPageTableDepth;
    limits.maxElements = kMaxPageElements;
    limits.maxTableCells = kMaxPageTableCells;
    limits.maxListItems = kMaxPageListItems;
    limits.maxPictures = kMaxPagePictures;
    limits.maxTextChars = kMaxPageTextChars;
    limits.maxWordChars = kMaxPageWordChars;
    limits.maxPageChars = kMaxPageChars;
    limits.maxPicturePixels = kMaxPagePicturePixels;
    limits.pictureArea = pictureArea;
    return boundPage(html, limits, kPageCutNotice);
}

THtmlView::PageSettings THtmlView::pageSettings() const
{
    const QTextDocument *current = document();
    return {current->defaultFont(), current->defaultStyleSheet(), current->defaultTextOption(),
            current->documentMargin(), m_marginWidth, m_marginHeight, m_viewImages};
}

QTextDocument *THtmlView::readPage(const QString &html, const PageSettings &settings)
{
    auto *page = new PageDocument(settings.viewImages);
    page->setUndoRedoEnabled(false);
    page->setDefaultFont(settings.font);
    page->setDefaultStyleSheet(settings.styleSheet);
    page->setDefaultTextOption(settings.textOption);
    page->setDocumentMargin(settings.documentMargin);
    page->setHtml(boundedPage(html));
    // The margins go in with the text: set afterwards, on a page already
    // laid out, they would lay it out again.
    setMargins(*page, settings.marginWidth, settings.marginHeight);
    return page;
}

void THtmlView::LoadText(const QString &html, const QString &reference)
{
    if (html.isEmpty())
        return;
    // A page still being read in the background is outdated by this one.
    ++m_generation;
    m_loading = false;
    dropHeldRows();
    showPage(readPage(html, pageSettings()), reference);
}

void THtmlView::LoadTextInBackground(const QString &html, const QString &reference)
{
    if (html.isEmpty())
        return;
    const unsigned generation = ++m_generation;
    m_loading = true;
    dropHeldRows();
    const PageSettings settings = pageSettings();
    const QPointer<THtmlView> view(this);
    QThread *gui = thread();
    QThreadPool::globalInstance()->start([view, gui, html, reference, settings, generation] {
        QTextDocument *page = readPage(html, settings);
        auto held = std::make_shared<HeldRows>(HeldRows::holdBack(*page));
        held->moveToThread(gui);
        page->moveToThread(gui);
        // Told through the application object, which outlives every view;
        // the view, if it is still there, is asked on its own thread.
        QMetaObject::invokeMethod(
            qApp,
            [view, page, reference, generation, held] {
                if (!view || generation != view->m_generation) {
                    delete page;
                    return;
                }
                view->showPage(page, reference, held);
            },
            Qt::QueuedConnection);
    });
}

void THtmlView::showPage(QTextDocument *page, const QString &reference, std::shared_ptr<HeldRows> held)
{
    PageInSteps steps{std::move(held), verticalScrollBarPolicy(), verticalScrollBar()->value(),
                      m_loaded && !reference.isEmpty() && reference == m_reference};

    // The page is laid out once, as it is handed over. Read into the view's
    // own document it was laid out three times: after the text, again for
    // the margins, and again, narrower, when its length brought up the
    // scroll bar. So the scroll bar a long page needs is up before the
    // layout, and stays up while held rows are added; a short page loses it
    // again afterwards, which lays out only that short page a second time.
    page->setParent(this);
    m_picturePixels = 0;
    if (steps.policy == Qt::ScrollBarAsNeeded)
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const bool inSteps = steps.rows && !steps.rows->isEmpty();
    // Nothing is drawn until the page is whole: the part after a long
    // table would show and then move down.
    if (inSteps)
        setUpdatesEnabled(false);
    // The view deletes the document it replaces when it is its parent, as
    // every page but the first is; the first belongs to the view's own text
    // control and goes with it.
    setDocument(page);
    m_loaded = true;
    m_reference = reference;
    applyColours();
    m_pageInSteps = std::move(steps);
    if (!inSteps) {
        finishPage();
        return;
    }
    m_heldRowsTimer->start();
}

void THtmlView::appendHeldRows()
{
    if (!m_pageInSteps)
        return;
    HeldRows &rows = *m_pageInSteps->rows;
    rows.appendStep();
    if (rows.isEmpty()) {
        finishPage();
        return;
    }
    m_heldRowsTimer->start();
}

void THtmlView::finishPage()
{
    const PageInSteps steps = *m_pageInSteps;
    dropHeldRows();
    m_loading = false;
    const qsizetype hash = m_reference.indexOf(QLatin1Char('#'));
    if (hash >= 0 && scrollToNamedAnchor(m_reference.mid(hash + 1)))
        return;
    verticalScrollBar()->setValue(steps.sameReference ? steps.position : 0);
}

void THtmlView::dropHeldRows()
{
    if (!m_pageInSteps)
        return;
    const Qt::ScrollBarPolicy policy = m_pageInSteps->policy;
    m_pageInSteps.reset();
    m_heldRowsTimer->stop();
    if (policy == Qt::ScrollBarAsNeeded)
        setVerticalScrollBarPolicy(policy);
    if (!updatesEnabled())
        setUpdatesEnabled(true);
}

QColor THtmlView::pageBackground() const
{
    const QBrush brush = document()->rootFrame()->frameFormat().background();
    return brush.style() == Qt::NoBrush ? m_defBackground : brush.color();
}

QVariant THtmlView::loadResource(int type, const QUrl &name)
{
    qint64 budget = kMaxPagePicturePixels - m_picturePixels;
    const QVariant resource = pageResource(type, name, m_viewImages, budget);
    m_picturePixels = kMaxPagePicturePixels - budget;
    if (resource.typeId() == QMetaType::QImage)
        return QPixmap::fromImage(resource.value<QImage>());
    return resource;
}

void THtmlView::mouseReleaseEvent(QMouseEvent *event)
{
    // The base class activates the link, synchronously, from this event.
    m_clickedHref = anchorAt(event->position().toPoint());
    m_inMouseClick = true;
    QTextBrowser::mouseReleaseEvent(event);
    m_inMouseClick = false;
    m_clickedHref.clear();
}

void THtmlView::hotSpotClicked(const QUrl &url)
{
    QString src;
    if (m_inMouseClick) {
        src = m_clickedHref;
    } else {  // activated from the keyboard: the link is the selection
        const QTextCursor cursor = textCursor();
        if (cursor.hasSelection())
            src = formatAt(document(), cursor.selectionStart()).anchorHref();
    }
    if (src.isEmpty())
        src = url.toString();

    bool handled = false;
    if (OnHotSpotClick) {
        const QPointer<THtmlView> alive(this);
        OnHotSpotClick(this, src, handled);
        if (!alive)
            return;
    }
    if (!handled)
        followInPage(src);
}

// A link into the page shown ("#name", or the reference's own file with
// "#name") scrolls there; "#" and an undefined "#top" go to the top. Any
// other address leaves the page as it is: the view never navigates.
void THtmlView::followInPage(const QString &src)
{
    const qsizetype hash = src.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return;
    const QString file = src.left(hash);
    const QString ownFile = m_reference.left(m_reference.indexOf(QLatin1Char('#')));
    if (!file.isEmpty() && file != ownFile)
        return;
    const QString name = src.mid(hash + 1);
    if (scrollToNamedAnchor(name) || scrollToNamedAnchor(QUrl::fromPercentEncoding(name.toUtf8())))
        return;
    if (name.isEmpty() || name.compare(QLatin1String("top"), Qt::CaseInsensitive) == 0)
        verticalScrollBar()->setValue(0);
}

bool THtmlView::scrollToNamedAnchor(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && format.anchorNames().contains(name)) {
                scrollToAnchor(name);
                return true;
            }
        }
    return false;
}

void THtmlView::focusInEvent(QFocusEvent *event)
{
    QTextBrowser::focusInEvent(event);
    applyColours();
}

void THtmlView::focusOutEvent(QFocusEvent *event)
{
    QTextBrowser::focusOutEvent(event);
    applyColours();
}

void THtmlView::applyStyleSheet()
{
    const QString underline = m_options.testFlag(htNoLinkUnderline) ? QStringLiteral("none")
                                                                     : QStringLiteral("underline");
    document()->setDefaultStyleSheet(
        QStringLiteral("a[href] { color: %1; text-decoration: %2; }\n"
                       "pre { font-family: \"%3\"; }\n")
            .arg(m_defHotSpotColor.name(), underline, standInFont(m_defPreFontName)));
}

void THtmlView::applyMargins()
{
    setMargins(*document(), m_marginWidth, m_marginHeight);
}

void THtmlView::setMargins(QTextDocument &page, int width, int height)
{
    QTextFrame *root = page.rootFrame();
    QTextFrameFormat format = root->frameFormat();
    format.setLeftMargin(width);
    format.setRightMargin(width);
    format.setTopMargin(height);
    format.setBottomMargin(height);
    root->setFrameFormat(format);
}

void THtmlView::applyLook()
{
    QFont body(standInFont(m_defFontName));
    body.setPointSize(m_defFontSize);
    setFont(body);

    applyMargins();
    setTextInteractionFlags(m_noSelect ? Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard
                                       : Qt::TextBrowserInteraction);
    const bool vertical = m_scrollBars == ssVertical || m_scrollBars == ssBoth;
    const bool horizontal = m_scrollBars == ssHorizontal || m_scrollBars == ssBoth;
    const Qt::ScrollBarPolicy policy = !vertical                           ? Qt::ScrollBarAlwaysOff
                                       : m_options.testFlag(htShowVScroll) ? Qt::ScrollBarAlwaysOn
                                                                           : Qt::ScrollBarAsNeeded;
    // A page being finished keeps its scroll bar up until it is whole.
    if (m_pageInSteps)
        m_pageInSteps->policy = policy;
    setVerticalScrollBarPolicy(m_pageInSteps && policy == Qt::ScrollBarAsNeeded ? Qt::ScrollBarAlwaysOn : policy);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setLineWrapMode(horizontal ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
    setFrameStyle(m_borderStyle == htNone ? int(QFrame::NoFrame) : QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    applyColours();
}

// htFocused keeps the one-pixel border's room at all times and draws it in
// the page colour while unfocused, so focusing never moves the page.
void THtmlView::applyColours()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, pageBackground());
    pal.setColor(QPalette::Text, m_defFontColor);
    pal.setColor(QPalette::Link, m_defHotSpotColor);
    pal.setColor(QPalette::LinkVisited, m_defVisitedLinkColor);
    const bool borderDrawn = m_borderStyle == htSingle || (m_borderStyle == htFocused && hasFocus());
    pal.setColor(QPalette::WindowText, borderDrawn ? m_defFontColor : pageBackground());
    setPalette(pal);
}

void THtmlView::setDefBackground(const QColor &color)
{
    m_defBackground = color;
    applyColours();
}

void THtmlView::setBorderStyle(TBorderStyle style)
{
    m_borderStyle = style;
    applyLook();
}

void THtmlView::setDefFontName(const QString &name)
{
    m_defFontName = name;
    applyLook();
}

void THtmlView::setDefPreFontName(const QString &name)
{
    m_defPreFontName = name;
    applyStyleSheet();
}

void THtmlView::setDefFontSize(int points)
{
    m_defFontSize = points;
    applyLook();
}

void THtmlView::setDefFontColor(const QColor &color)
{
    m_defFontColor = color;
    applyColours();
}

void THtmlView::setDefHotSpotColor(const QColor &color)
{
    m_defHotSpotColor = color;
    applyStyleSheet();
    applyColours();
}

void THtmlView::setNoSelect(bool on)
{
    m_noSelect = on;
    applyLook();
}

void THtmlView::setScrollBars(TScrollStyle style)
{
    m_scrollBars = style;
    applyLook();
}

void THtmlView::setHtOptions(THtmlOptions options)
{
    m_options = options;
    applyStyleSheet();
    applyLook();
}

void THtmlView::setMarginWidth(int pixels)
{
    m_marginWidth = pixels;
    applyMargins();
}

void THtmlView::setMarginHeight(int pixels)
{
    m_marginHeight = pixels;
    applyMargins();
}

void THtmlView::setViewImages(bool on)
{
    m_viewImages = on;
}
