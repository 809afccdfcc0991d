#pragma once

#include <string_view>

// Where things are on the vendor's web server. The game asks for them and
// the server serves them, so both take the paths from here and cannot
// drift apart. Every path starts with '/'; the published files live under
// the server's content folder at the same path, without the leading '/'.
namespace vendor {

// The high-score list page.
constexpr std::string_view kScoreListPath = "/counter/pegsquare.shtml";
// A finished game's score, as ?name=…&date=…&score=… on a GET.
constexpr std::string_view kPostingPath = "/cgi-bin/pegsquare.cgi";
// The version on offer, as a dotted version text.
constexpr std::string_view kVersionPath = "/pegsquare/pegsquareversion.txt";
// The installer and its minisign signature; the game runs no installer
// without a signature its key accepts.
constexpr std::string_view kInstallerPath = "/pegsquare/pegsetup.exe";
constexpr std::string_view kSignaturePath = "/pegsquare/pegsetup.exe.minisig";
// The longest player name the posting accepts, in Unicode code points.
constexpr int kMaxNameCodePoints = 32;

// The installer's file name, as the version text and the player see it.
constexpr std::string_view kInstallerName = "pegsetup.exe";
// The Pegclub multiplayer lobby page.
constexpr std::string_view kLobbyPath = "/games/lobby_games/cribbage";

// A path as a file name under the content folder (no leading '/').
constexpr std::string_view contentFile(std::string_view path) { return path.substr(1); }

} // namespace vendor
