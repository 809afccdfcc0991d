#pragma once

#include "scoretable.h"
#include "vendorpaths.h"

#include <string>
#include <string_view>
#include <vector>

// The HTML pages. The game shows them in a simple viewer that knows only
// HTML 3.2-era tags and attributes, so there is no CSS: colours, widths and
// alignment are tag attributes, and only &amp; &lt; &gt; &quot; are used.

constexpr std::string_view kHtmlType = "text/html; charset=utf-8";
constexpr std::string_view kHomePath = "/";
using vendor::kInstallerPath;
using vendor::kLobbyPath;
using vendor::kPostingPath;
using vendor::kScoreListPath;
using vendor::kSignaturePath;
using vendor::kVersionPath;
// For monitors and load balancers: "ok" while the score database answers.
constexpr std::string_view kHealthPath = "/healthz";

// Every page links to the others by whole address (`site` + path, where
// `site` is e.g. "http://www.example.com" without a trailing slash): the game
// hands a clicked link to the browser as it stands, with no page address to
// resolve a relative link against.

// `text` with & < > " written as entities.
std::string htmlEscape(std::string_view text);

// The high-score list: rank, name, score and date of each row, in order.
std::string scoreListPage(const std::vector<StoredScore> &scores, std::string_view site);

// The vendor's home page; links the installer only when one is published.
std::string homePage(bool installerPublished, std::string_view site);

// The Pegclub multiplayer lobby page.
std::string lobbyPage(std::string_view site);

// The answer to a stored posting.
std::string scoreReceivedPage(const NewScore &score, std::string_view site);
