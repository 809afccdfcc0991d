#include "listpage.h"
#include "figures.h"
#include "playgame.h"

#include "htmlview.h"

#ifdef PEG_BENCH_SERVER_PAGES
#include "pages.h"
#endif

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QWidget>

#include <cstdio>
#include <vector>

namespace programbench {

namespace {

// The page going into a view on its own, outside the run, and then one
// synchronous repaint: the view's LoadText; the setHtml every QTextBrowser
// has; that setHtml followed by a change of the root frame's margins,
// which is how the view sets its page margins; or a document parsed, given
// its margins and laid out at the view's width beforehand (untimed, as a
// worker thread would) and then handed over with setDocument, which is the
// part a worker cannot take: the view lays the page out again. Wall and
// GUI-thread CPU medians in ms.
struct ViewCost {
    double loadMs, loadCpuMs, paintMs, paintCpuMs;
};
enum class Load { LoadText, SetHtml, SetHtmlThenMargins, Prepared };
void setPageMargins(QTextDocument &document)
{
    QTextFrame *root = document.rootFrame();
    QTextFrameFormat format = root->frameFormat();
    format.setLeftMargin(THtmlView::kMarginWidth);
    format.setRightMargin(THtmlView::kMarginWidth);
    format.setTopMargin(THtmlView::kMarginHeight);
    format.setBottomMargin(THtmlView::kMarginHeight);
    root->setFrameFormat(format);
}

ViewCost viewCost(QTextBrowser &view, const QString &page, Load how, int runs)
{
    std::vector<double> load, loadCpu, paint, paintCpu;
    for (int i = 0; i < runs; ++i) {
        // Another document first, so each run replaces a page as the
        // window does.
        view.setHtml(QStringLiteral("<p>before</p>"));
        QCoreApplication::processEvents();
        QTextDocument *prepared = nullptr;
        if (how == Load::Prepared) {
            // Owned by the view once handed over.
            prepared = new QTextDocument(&view);
            prepared->setDefaultFont(view.document()->defaultFont());
            prepared->setDocumentMargin(view.document()->documentMargin());
            prepared->setHtml(page);
            setPageMargins(*prepared);
            prepared->setPageSize(QSizeF(view.viewport()->width(), -1));
            (void)prepared->documentLayout()->documentSize();
        }
        QElapsedTimer clock;
        clock.start();
        std::int64_t cpu = threadCpuNs();
        if (how == Load::Prepared) {
            view.setDocument(prepared);
        } else if (how == Load::LoadText) {
            static_cast<THtmlView &>(view).LoadText(page, QString());
        } else {
            view.QTextBrowser::setHtml(page);
            if (how == Load::SetHtmlThenMargins)
                setPageMargins(*view.document());
        }
        load.push_back(double(clock.nsecsElapsed()) / 1e6);
        loadCpu.push_back(double(threadCpuNs() - cpu) / 1e6);
        clock.restart();
        cpu = threadCpuNs();
        view.viewport()->repaint();
        paint.push_back(double(clock.nsecsElapsed()) / 1e6);
        paintCpu.push_back(double(threadCpuNs() - cpu) / 1e6);
    }
    return {median(load), median(loadCpu), median(paint), median(paintCpu)};
}

} // namespace

std::string scoreListBody()
{
#ifdef PEG_BENCH_SERVER_PAGES
    std::vector<StoredScore> scores;
    for (int i = 0; i < 100; ++i)
        scores.push_back({"Player number " + std::to_string(i), 9000 - i * 13, "12/9/26", "", i});
    return scoreListPage(scores, "http://127.0.0.1");
#else
    std::string page = "<html><body><table>";
    for (int i = 0; i < 100; ++i)
        page += "<tr><td>" + std::to_string(i + 1) + "</td><td>Player number " + std::to_string(i) + "</td><td>"
                + std::to_string(9000 - i * 13) + "</td><td>12/9/26</td></tr>\n";
    return page + "</table></body></html>\n";
#endif
}

// The view alone against a plain QTextBrowser, same page, same size.
void listPageAlone(const std::string &list)
{
    const QString page = QString::fromStdString(list);
    QWidget holder;
    holder.resize(481, 507);
    auto *htmlView = new THtmlView(&holder);
    htmlView->setGeometry(1, 1, 479, 505);
    holder.show();
    QWidget plainHolder;
    plainHolder.resize(481, 507);
    auto *plain = new QTextBrowser(&plainHolder);
    plain->setGeometry(1, 1, 479, 505);
    plainHolder.show();
    waitFor([&] { return htmlView->isVisible() && plain->isVisible(); }, 5'000);
    viewCost(*htmlView, page, Load::LoadText, 1);  // warm-up: fonts, caches
    viewCost(*plain, page, Load::SetHtml, 1);
    const ViewCost mine = viewCost(*htmlView, page, Load::LoadText, 7);
    const ViewCost base = viewCost(*htmlView, page, Load::SetHtml, 7);
    const ViewCost margins = viewCost(*htmlView, page, Load::SetHtmlThenMargins, 7);
    const ViewCost peer = viewCost(*plain, page, Load::SetHtml, 7);
    const ViewCost prepared = viewCost(*htmlView, page, Load::Prepared, 7);
    std::printf("the list page alone (median of 7, ms wall/cpu): THtmlView::LoadText %.1f/%.1f, repaint "
                "%.1f/%.1f; the same view's inherited setHtml alone %.1f/%.1f, and with the root frame's "
                "margins set after it %.1f/%.1f; a plain QTextBrowser's setHtml %.1f/%.1f, repaint %.1f/%.1f\n",
                mine.loadMs, mine.loadCpuMs, mine.paintMs, mine.paintCpuMs, base.loadMs, base.loadCpuMs,
                margins.loadMs, margins.loadCpuMs, peer.loadMs, peer.loadCpuMs, peer.paintMs, peer.paintCpuMs);
    std::printf("a document parsed and laid out beforehand, handed over with setDocument (median of 7, ms "
                "wall/cpu): %.1f/%.1f, repaint %.1f/%.1f\n",
                prepared.loadMs, prepared.loadCpuMs, prepared.paintMs, prepared.paintCpuMs);
    figure("list page LoadText, GUI-thread CPU", mine.loadCpuMs, "ms", "QTextBrowser::setHtml", peer.loadCpuMs);
    figure("list page handed over laid out, GUI-thread CPU", prepared.loadCpuMs, "ms", "LoadText", mine.loadCpuMs);
}

} // namespace programbench
