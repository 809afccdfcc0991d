#pragma once

#include <QString>

namespace platform {
class QuitSignals;
class SoundPlayer;
} // namespace platform

// Runs the whole program: the application object, the sound player, the
// six windows and the message loop, until the main window closes or the
// desktop ends the program. `vendorHost` is the vendor web server's
// host[:port]; empty means the one the program was built for (the real
// program always passes empty). Returns the process's exit status.
int runPegsquare(int argc, char *argv[], const QString &vendorHost = QString());

// The program's windows and message loop on an application object that
// exists, with the settings and tally in `programFolder`. A quit request
// from `quitSignals` ends it without waiting for anyone: a message box
// then open is closed, later ones are not shown (their messages go to
// standard error and the next start), and what the program keeps is
// saved. One during start-up (say while the damaged-tally message is up)
// ends the program as soon as its windows exist. Returns the exit status.
int runProgram(platform::SoundPlayer &sound, const QString &programFolder, const QString &vendorHost,
               platform::QuitSignals &quitSignals);
