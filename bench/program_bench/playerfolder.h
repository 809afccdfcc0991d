#pragma once

// What a player's program folder holds after some weeks of play, for the
// measurements to start from.

#include "tallygrid.h"

#include <filesystem>

namespace programbench {

// A tally as full as it gets: every statistic with many digits, all ten
// ranks taken, each with the longest name the name box accepts.
TallyGrid fullTally();

// Writes a full tally and a settings file into `folder`, as a player's
// program folder holds them after some weeks of play.
void preparePlayerFolder(const std::filesystem::path &folder);

} // namespace programbench
