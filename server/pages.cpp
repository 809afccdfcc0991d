#include "pages.h"

namespace {

constexpr std::string_view kBackground = "#D2C584";
constexpr std::string_view kMaroon = "#800000";
constexpr std::string_view kRowLight = "#E6DCAB";
constexpr std::string_view kRowDark = "#DCCF96";
constexpr std::string_view kFace = "Arial";

std::string pageStart(std::string_view title)
{
    std::string page;
    page += "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
    page += htmlEscape(title);
    page += "</title>\n</head>\n<body bgcolor=\"";
    page += kBackground;
    page += "\" text=\"#000000\" link=\"";
    page += kMaroon;
    page += "\" vlink=\"";
    page += kMaroon;
    page += "\" alink=\"";
    page += kMaroon;
    page += "\">\n<center>\n<h1><font face=\"";
    page += kFace;
    page += "\" color=\"";
    page += kMaroon;
    page += "\">";
    page += htmlEscape(title);
    page += "</font></h1>\n";
    return page;
}

std::string link(std::string_view site, std::string_view path, std::string_view label)
{
    std::string html = "<a href=\"";
    html += htmlEscape(site);
    html += path;
    html += "\">";
    html += label;
    html += "</a>";
    return html;
}

// The links at the foot of every page, leaving out the page itself.
std::string pageEnd(std::string_view here, std::string_view site)
{
    struct Link {
        std::string_view path;
        std::string_view label;
    };
    constexpr Link links[] = {
        {kHomePath, "Pegsquare home"},
        {kScoreListPath, "High scores"},
        {kLobbyPath, "Pegclub lobby"},
    };
    std::string page = "<hr width=\"60%\">\n<p><font face=\"";
    page += kFace;
    page += "\" size=\"2\">";
    bool first = true;
    for (const Link &entry : links) {
        if (entry.path == here)
            continue;
        if (!first)
            page += " &nbsp;|&nbsp; ";
        first = false;
        page += link(site, entry.path, entry.label);
    }
    page += "</font></p>\n</center>\n</body>\n</html>\n";
    return page;
}

std::string paragraph(std::string_view html)
{
    std::string page = "<p><font face=\"";
    page += kFace;
    page += "\">";
    page += html;
    page += "</font></p>\n";
    return page;
}

void addCell(std::string &page, std::string_view tag, std::string_view align, std::string_view html,
             bool onMaroon = false)
{
    page += '<';
    page += tag;
    page += " align=\"";
    page += align;
    page += "\"><font face=\"";
    page += kFace;
    page += onMaroon ? "\" color=\"#FFFFFF\">" : "\">";
    page += html;
    page += "</font></";
    page += tag;
    page += '>';
}

} // namespace

std::string htmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string scoreListPage(const std::vector<StoredScore> &scores, std::string_view site)
{
    std::string page = pageStart("Pegsquare High Scores");
    if (scores.empty()) {
        page += paragraph("No scores yet — be the first!");
        page += pageEnd(kScoreListPath, site);
        return page;
    }
    page.reserve(page.size() + scores.size() * 260 + 600);
    // "The best score", not "The best 1 score".
    const std::string best =
        scores.size() == 1 ? std::string("The best score") : "The best " + std::to_string(scores.size()) + " scores";
    page += paragraph(best + " sent in by Pegsquare players.");
    page += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"5\" width=\"80%\" bgcolor=\"";
    page += kRowLight;
    page += "\">\n<tr bgcolor=\"";
    page += kMaroon;
    page += "\">";
    addCell(page, "th", "right", "<b>Rank</b>", true);
    addCell(page, "th", "left", "<b>Name</b>", true);
    addCell(page, "th", "right", "<b>Score</b>", true);
    addCell(page, "th", "center", "<b>Date</b>", true);
    page += "</tr>\n";
    int rank = 0;
    for (const StoredScore &score : scores) {
        ++rank;
        page += "<tr bgcolor=\"";
        page += rank % 2 ? kRowLight : kRowDark;
        page += "\">";
        addCell(page, "td", "right", std::to_string(rank));
        addCell(page, "td", "left", htmlEscape(score.name));
        addCell(page, "td", "right", "<b>" + std::to_string(score.score) + "</b>");
        addCell(page, "td", "center", htmlEscape(score.date));
        page += "</tr>\n";
    }
    page += "</table>\n";
    page += pageEnd(kScoreListPath, site);
    return page;
}

std::string homePage(bool installerPublished, std::string_view site)
{
    std::string page = pageStart("Pegsquare");
    page += paragraph("<i>Cribbage square solitaire</i>");
    page += paragraph("Sixteen cards come one at a time; place each on a 4 &times; 4 board. When the "
                      "board is full a starter card is turned and the four rows and four columns are "
                      "scored as eight cribbage hands. Rounds of 55 or more let you play on.");
    if (installerPublished) {
        page += paragraph("<b>" + link(site, kInstallerPath, "Download Pegsquare") + "</b>");
    } else {
        page += paragraph("The installer will be available here soon.");
    }
    page += paragraph("See the " + link(site, kScoreListPath, "high scores") + ", or meet other players in the "
                      + link(site, kLobbyPath, "Pegclub lobby") + ".");
    page += pageEnd(kHomePath, site);
    return page;
}

std::string lobbyPage(std::string_view site)
{
    std::string page = pageStart("Pegclub Cribbage Lobby");
    page += paragraph("Pegclub is where Pegsquare players meet for games of cribbage against each other.");
    page += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"8\" width=\"60%\" bgcolor=\"";
    page += kRowLight;
    page += "\">\n<tr bgcolor=\"";
    page += kMaroon;
    page += "\">";
    addCell(page, "th", "center", "<b>Open tables</b>", true);
    page += "</tr>\n<tr>";
    addCell(page, "td", "center", "No tables are open right now. Please look in again later.");
    page += "</tr>\n</table>\n";
    page += pageEnd(kLobbyPath, site);
    return page;
}

std::string scoreReceivedPage(const NewScore &score, std::string_view site)
{
    std::string page = pageStart("Score received");
    page += paragraph("Thank you, <b>" + htmlEscape(score.name) + "</b>. Your score of <b>"
                      + std::to_string(score.score) + "</b> from " + htmlEscape(score.date)
                      + " has been recorded.");
    page += pageEnd("", site);
    return page;
}
