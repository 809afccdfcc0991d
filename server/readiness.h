#pragma once

#include <string>

// Tells systemd (a unit of Type=notify) that the server is listening, so
// that "started" means ready: nginx in front of several servers then never
// hands a player to one that is still opening its database, and a rolling
// restart can wait for each. Does nothing when the server was not started
// by a service manager that asked for it. Returns what went wrong, or an
// empty string; a failure is worth a line on standard error, not a stop.
std::string tellServiceManagerReady();
