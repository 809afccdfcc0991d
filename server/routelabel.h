#pragma once

#include <string_view>

// The route a request target is counted under in the metrics: one of a few
// fixed names, so a client can never make up a label of its own.
std::string_view routeLabel(std::string_view target);
