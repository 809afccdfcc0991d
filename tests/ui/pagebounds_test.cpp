// The page bounder on pages within the view's limits: what Qt shows of the
// rewritten page is what it shows of the page as written.
#include "htmlview.h"
#include "pagebounds.h"

#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// The shape of the vendor server's score list at its longest.
QString scoreList(int rows)
{
    QString html = QStringLiteral(
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<title>Pegsquare High Scores</title>\n</head>\n<body bgcolor=\"#D2C584\" text=\"#000000\" link=\"#800000\">\n"
        "<center>\n<h1><font face=\"Arial\" color=\"#800000\">Pegsquare High Scores</font></h1>\n"
        "<p><font face=\"Arial\">The best 100 scores sent in by Pegsquare players.</font></p>\n"
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"5\" width=\"80%\" bgcolor=\"#E6DCAB\">\n"
        "<tr bgcolor=\"#800000\"><th align=\"right\"><font face=\"Arial\" color=\"#FFFFFF\"><b>Rank</b></font></th>"
        "<th align=\"left\"><font face=\"Arial\" color=\"#FFFFFF\"><b>Name</b></font></th></tr>\n");
    for (int i = 1; i <= rows; ++i)
        html += QStringLiteral("<tr bgcolor=\"#DCCF96\"><td align=\"right\"><font face=\"Arial\">%1</font></td>"
                               "<td align=\"left\"><font face=\"Arial\">A player&#39;s name &amp; %1 &lt;32&gt;</font></td>"
                               "<td align=\"right\"><font face=\"Arial\"><b>%2</b></font></td>"
                               "<td align=\"center\"><font face=\"Arial\">Tue 9 Apr 2024 12:34</font></td></tr>\n")
                    .arg(i)
                    .arg(100000 - i);
    return html
        + QStringLiteral("</table>\n<hr width=\"60%\">\n<p><font face=\"Arial\" size=\"2\">"
                         "<a href=\"http://www.example.com/\">Pegsquare home</a> &nbsp;|&nbsp; "
                         "<a href=\"http://www.example.com/games/lobby_games/cribbage\">Pegclub lobby</a>"
                         "</font></p>\n</center>\n</body>\n</html>\n");
}

QString asQtShowsIt(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toHtml();
}

TEST(PageBounds, PagesWithinTheLimitsShowUnchanged)
{
    struct Row {
        const char *name;
        QString html;
    };
    const Row rows[] = {
        {"the server's score list", scoreList(100)},
        {"optional end tags left out",
         QStringLiteral("<p>one<p>two<ul><li>a<li>b</ul><dl><dt>term<dd>meaning<dt>next<dd>more</dl>"
                        "<table><tr><td>1<td>2<tr><td>3<td>4</table><p>after")},
        {"tables two deep", QStringLiteral("<table border=1><tr><td><table><tr><td>in</td></tr></table></td>"
                                           "<td>out</td></tr></table>")},
        {"quoted attributes holding markup",
         QStringLiteral("<p title='a \"b\" > c'><a href=\"x?a=1&amp;b=2\" name=q>link</a> <font color=red>r</font></p>")},
        {"comments, doctype and stray end tags",
         QStringLiteral("<!DOCTYPE html><!-- a <b>comment</b> --><p>text</i></p><!---->x</span>")},
        {"text with entities", QStringLiteral("<p>1 &lt; 2 &amp; 3 &gt; 2 &nbsp;&copy; caf\u00e9 \U0001F600</p>")},
        {"preformatted and unbroken text", QStringLiteral("<pre>line one\n  line two\n</pre><nobr>no break here</nobr>")},
        {"a picture", QStringLiteral("<p><img src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" width=\"4\" alt=x></p>")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString bounded = THtmlView::boundedPage(row.html);
        EXPECT_FALSE(bounded.contains(THtmlView::kPageCutNotice));
        EXPECT_EQ(asQtShowsIt(bounded).toStdString(), asQtShowsIt(row.html).toStdString());
    }
}

} // namespace
