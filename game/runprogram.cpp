#include "runprogram.h"

#include "gameresources.h"
#include "mainform.h"
#include "playerfolder.h"
#include "program.h"
#include "quitsignals.h"
#include "sdlsoundplayer.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdlib>

namespace {

// The running program, for the one way out that never returns to us: the
// window toolkit ends the process with exit() when the connection to the
// display breaks. What is kept is saved from the exit handler, quietly,
// since nothing can be shown any more.
Program *g_running = nullptr;

extern "C" void saveOnAbruptExit()
{
    if (Program *program = g_running) {
        g_running = nullptr;
        program->saveAll(Program::Report::Quietly);
    }
}

} // namespace

int runPegsquare(int argc, char *argv[], const QString &vendorHost)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    // Lets the desktop match the window to the installed desktop entry
    // (and its icon) on Wayland, where the window class does not count.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pegsquare.Pegsquare"));
    // Only the main window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QApplication::setWindowIcon(gameresources::programIcon());

    // Installed before any window exists, so a signal during start-up waits
    // for the message loop instead of killing the program half-way.
    platform::QuitSignals quitSignals;

    platform::SdlSoundPlayer sound(gameresources::soundFiles());
    // An installed copy whose folder the player may not write keeps the
    // settings and the tally in the player's own data folder.
    Program program(sound, platform::playerFilesFolder(QApplication::applicationDirPath()), vendorHost);

    // Logout, shutdown, `kill`, a closed terminal: the program ends as if
    // its window had been closed, saving what it keeps.
    QObject::connect(&quitSignals, &platform::QuitSignals::quitRequested, &program.mainWindow(),
                     [&program](int) { program.mainWindow().close(); });
    // The session manager asks first whether everything is saved; it may
    // still end the session or cancel it, so nothing else changes.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &program.mainWindow(),
                     [&program](QSessionManager &) { program.saveAll(Program::Report::Shown); });

    static bool exitHandlerInstalled = false;
    if (!exitHandlerInstalled)
        exitHandlerInstalled = std::atexit(saveOnAbruptExit) == 0;
    g_running = &program;

    program.mainWindow().show();
    const int status = QApplication::exec();
    // From here on the windows save as they close, in the usual order.
    g_running = nullptr;
    return status;
}
