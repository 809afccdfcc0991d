#pragma once

#include <QString>

// Runs the whole program: the application object, the sound player, the
// six windows and the message loop, until the main window closes or the
// desktop ends the program. `vendorHost` is the vendor web server's
// host[:port]; empty means the one the program was built for (the real
// program always passes empty). Returns the process's exit status.
int runPegsquare(int argc, char *argv[], const QString &vendorHost = QString());
