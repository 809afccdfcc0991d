#pragma once

// The score list page: the one the stand-in server serves during the stall
// measurement, and what it costs to put into the high-score window's view
// on its own.

#include <string>

namespace programbench {

// A hundred scores as the vendor server's list page (its own page builder
// when the server is built, a plain table like it otherwise).
std::string scoreListBody();

// Puts `list` into the high-score view and into a plain QTextBrowser of the
// same size, several times each, and prints what each step costs beside
// the other, with its figure line. Needs the application object.
void listPageAlone(const std::string &list);

} // namespace programbench
