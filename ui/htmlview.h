#pragma once

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QString>
#include <QStringView>
#include <QTextBrowser>
#include <QTextOption>

#include <functional>
#include <memory>
#include <optional>

class HeldRows;
class QFocusEvent;
class QTimer;
class QMouseEvent;
class QTextDocument;
class QUrl;

// The HTML view of the high-score window: shows one HTML document given as
// text and reports clicks on its links. It knows nothing of HTTP and never
// fetches anything: images can come only from data: addresses inside the
// page (GIF, BMP, JPEG), every other resource a page names stays empty.
//
// The settings take effect at once, except the link colour and underline
// and the preformatted font, which style the next document LoadText shows.
class THtmlView : public QTextBrowser {
    Q_OBJECT
public:
    enum TBorderStyle { htFocused, htNone, htSingle };
    enum THtmlOption {
        htOverLinksActive = 0x1,   // kept as a setting; links keep their colour under the pointer
        htNoLinkUnderline = 0x2,
        htShowDummyCaret = 0x4,    // kept as a setting; no caret is drawn
        htShowVScroll = 0x8,       // vertical scroll bar even when nothing scrolls
    };
    Q_DECLARE_FLAGS(THtmlOptions, THtmlOption)
    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

    // Raised when the user activates a link (mouse or keyboard). SRC is the
    // link's address exactly as the page writes it; Handled is false on
    // entry. Left false, the view then follows a link into the page itself
    // ("#name" scrolls there); set true, it does nothing more. The view
    // never navigates away from the page and never shows an error page.
    using THotSpotClickEvent = std::function<void(THtmlView *sender, const QString &SRC, bool &Handled)>;

    static constexpr int kDefFontSize = 12;       // points
    static constexpr int kMarginWidth = 10;       // pixels left and right of the page
    static constexpr int kMarginHeight = 5;       // pixels above and below the page
    static constexpr int kHistoryMaxCount = 0;
    // A data: address longer than this, or whose picture is wider or
    // higher than kMaxImageSide, is refused before any decoding.
    static constexpr qsizetype kMaxDataUrlBytes = 4 * 1024 * 1024;
    static constexpr int kMaxImageSide = 4096;

    // What LoadText shows of a page; the rest gives way to kPageCutNotice.
    // The vendor's score list, its largest page, is 8 elements deep with one
    // table, and has about 1100 elements, 404 cells and 6000 characters of
    // text; none of its pages has a list or a picture. Qt's HTML layout
    // costs time out of all proportion for some of these, so each limit is
    // a few times what that page needs and no more. Cells, words and list
    // items count as the bounder's PageLimits says.
    static constexpr int kMaxPageDepth = 64;              // Qt lays nesting out recursively, on the stack
    static constexpr int kMaxPageTableDepth = 4;          // Qt's table time doubles with each table nested
    static constexpr int kMaxPageElements = 2500;         // layout time grows with each element
    static constexpr int kMaxPageTableCells = 800;        // table layout is the dearest per element
    static constexpr int kMaxPageListItems = 1000;        // time grows with the square of a list's items
    static constexpr int kMaxPagePictures = 400;          // time grows with the square of the pictures
    static constexpr qsizetype kMaxPageTextChars = 30000;      // text shaping time
    static constexpr qsizetype kMaxPageWordChars = 1000;        // line breaking time grows with its square
    static constexpr qsizetype kMaxPageChars = 6 * 1024 * 1024; // parsing time; room for one data: picture
    static constexpr qint64 kMaxPagePicturePixels = 1024 * 1024; // decoding time and memory, each document
    static constexpr QStringView kPageCutNotice = u"<p><i>The rest of this page is too large to show.</i></p>";

    // A blank view in DefBackground named `name`, with the settings the
    // high-score window gives it.
    explicit THtmlView(QWidget *parent = nullptr, const QString &name = QString());

    // Shows the document `html`, cut to the page limits above. An empty one
    // changes nothing at all. Otherwise
    // the previous document is discarded and the new one shown: from its top
    // when `reference` is empty; with a reference "file" or "file#anchor",
    // at the anchor when the document defines it, else at the top when the
    // reference differs from the previous one (the same reference keeps the
    // scroll position, as a reload does).
    void LoadText(const QString &html, const QString &reference = QString());
    // As LoadText, but the page is cut to the limits and read on a thread
    // of its own, and shown (laid out on this thread) when it is ready; the
    // page shown stays until then. A long table is laid out a few rows at a
    // time, in turns of the event loop, and the page shows once whole. A
    // later LoadText or LoadTextInBackground outdates a page still being
    // read or finished, which is then never shown.
    void LoadTextInBackground(const QString &html, const QString &reference = QString());
    // True from LoadTextInBackground until its page is shown whole or
    // outdated.
    bool isLoading() const { return m_loading; }
    // The reference of the document shown (empty before the first one).
    QString currentReference() const { return m_reference; }

    THotSpotClickEvent OnHotSpotClick;

    QColor defBackground() const { return m_defBackground; }
    void setDefBackground(const QColor &color);
    TBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TBorderStyle style);
    int historyMaxCount() const { return m_historyMaxCount; }
    void setHistoryMaxCount(int count) { m_historyMaxCount = count; }  // no history is kept
    // Font names as the page world knows them ("Times New Roman", "Arial");
    // the faces that stand in for them are used for drawing.
    QString defFontName() const { return m_defFontName; }
    void setDefFontName(const QString &name);
    QString defPreFontName() const { return m_defPreFontName; }
    void setDefPreFontName(const QString &name);
    int defFontSize() const { return m_defFontSize; }
    void setDefFontSize(int points);
    QColor defFontColor() const { return m_defFontColor; }
    void setDefFontColor(const QColor &color);
    QColor defHotSpotColor() const { return m_defHotSpotColor; }
    void setDefHotSpotColor(const QColor &color);
    // Kept as settings: the view keeps no visited list (links are opened
    // elsewhere) and does not recolour the link under the pointer.
    QColor defVisitedLinkColor() const { return m_defVisitedLinkColor; }
    void setDefVisitedLinkColor(const QColor &color) { m_defVisitedLinkColor = color; }
    QColor defOverLinkColor() const { return m_defOverLinkColor; }
    void setDefOverLinkColor(const QColor &color) { m_defOverLinkColor = color; }
    bool noSelect() const { return m_noSelect; }
    void setNoSelect(bool on);
    TScrollStyle scrollBars() const { return m_scrollBars; }
    void setScrollBars(TScrollStyle style);
    THtmlOptions htOptions() const { return m_options; }
    void setHtOptions(THtmlOptions options);
    int marginWidth() const { return m_marginWidth; }
    void setMarginWidth(int pixels);
    int marginHeight() const { return m_marginHeight; }
    void setMarginHeight(int pixels);
    bool viewImages() const { return m_viewImages; }
    void setViewImages(bool on);  // for the next LoadText

    // The page's background: its <body bgcolor> or, without one,
    // DefBackground.
    QColor pageBackground() const;

    // The only source of a page's resources. Images: a data: address
    // holding a GIF, BMP or JPEG picture within the bounds above, and within
    // what is left of the document's kMaxPagePicturePixels, gives the
    // picture; anything else gives an empty 1 × 1 picture. Other kinds give
    // empty data. Never reads a file, never touches the network, and never
    // returns a null variant (that would let the document go to the disk
    // itself).
    QVariant loadResource(int type, const QUrl &name) override;

    // `html` as LoadText gives it to the document: cut to the page limits.
    static QString boundedPage(const QString &html);

    // The face that stands in for a page font name ("Times New Roman" →
    // Liberation Serif, "Arial" → Liberation Sans); other names unchanged.
    static QString standInFont(const QString &name);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void hotSpotClicked(const QUrl &url);
    void followInPage(const QString &src);
    bool scrollToNamedAnchor(const QString &name);
    void applyLook();         // fonts, margins, frame, scroll bars, colours
    void applyColours();      // page, text, link and border colours
    void applyStyleSheet();   // default style of the next document
    void applyMargins();
    static void setMargins(QTextDocument &page, int width, int height);
    // What a page is read with, taken on this thread so that a page can be
    // read on another.
    struct PageSettings {
        QFont font;
        QString styleSheet;
        QTextOption textOption;
        qreal documentMargin;
        int marginWidth;
        int marginHeight;
        bool viewImages;
    };
    PageSettings pageSettings() const;
    // A new document (no parent, on the calling thread) holding `html` cut
    // to the page limits; safe on any thread.
    static QTextDocument *readPage(const QString &html, const PageSettings &settings);
    // Hands `page` to the view (which becomes its parent) and lays it out;
    // with rows held back, it is finished by appendHeldRows in later turns
    // of the event loop, and shown once whole.
    void showPage(QTextDocument *page, const QString &reference, std::shared_ptr<HeldRows> held = {});
    void appendHeldRows();
    // The page is whole: the scroll bar as asked for, the position or
    // anchor the reference asks for, and the page on screen.
    void finishPage();
    // A page still being finished in steps is left as it stands.
    void dropHeldRows();

    QColor m_defBackground;
    TBorderStyle m_borderStyle = htFocused;
    int m_historyMaxCount = kHistoryMaxCount;
    QString m_defFontName;
    QString m_defPreFontName;
    int m_defFontSize = kDefFontSize;
    QColor m_defFontColor;
    QColor m_defHotSpotColor;
    QColor m_defVisitedLinkColor;
    QColor m_defOverLinkColor;
    bool m_noSelect = false;
    TScrollStyle m_scrollBars = ssVertical;
    THtmlOptions m_options;
    int m_marginWidth = kMarginWidth;
    int m_marginHeight = kMarginHeight;
    bool m_viewImages = true;

    // A page handed over without all its rows yet, and how to finish it.
    struct PageInSteps {
        std::shared_ptr<HeldRows> rows;
        Qt::ScrollBarPolicy policy;  // the vertical scroll bar's, while it is held up
        int position;                // to keep, for the same reference
        bool sameReference;
    };
    std::optional<PageInSteps> m_pageInSteps;
    QTimer *m_heldRowsTimer = nullptr;
    bool m_loaded = false;
    bool m_loading = false;
    unsigned m_generation = 0;  // of the latest page asked for
    QString m_reference;
    qint64 m_picturePixels = 0;  // decoded for the document shown
    // The address under the pointer while a mouse click is delivered, so
    // the handler gets the text as the page wrote it.
    QString m_clickedHref;
    bool m_inMouseClick = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(THtmlView::THtmlOptions)
