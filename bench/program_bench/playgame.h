#pragma once

// A whole game played through the main window's own handlers, and waiting
// on the event loop for a condition.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class Tmain;

namespace programbench {

// How long each kind of handler call took, in ms, when asked for.
using HandlerLog = std::map<std::string, std::vector<double>>;

// Plays one whole game through the window's own handlers: Start, a click
// on each cell in reading order, the result ticks, Continue while rounds
// clear. Events are processed after every move so the board repaints as
// it would for a player. Returns the number of rounds.
int playGame(Tmain &w, std::uint32_t seed, HandlerLog *log = nullptr);

// Processes events until `done` holds; false when `timeoutMs` passed first.
bool waitFor(const std::function<bool()> &done, int timeoutMs);

} // namespace programbench
