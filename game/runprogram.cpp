#include "runprogram.h"

#include "gameresources.h"
#include "mainform.h"
#include "messageboxes.h"
#include "playerfolder.h"
#include "program.h"
#include "quitsignals.h"
#include "sdlsoundplayer.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

namespace {

// The running program, for the one way out that never returns to us: the
// window toolkit ends the process with exit() when the connection to the
// display breaks. The exit handler then saves quietly (nothing can be
// shown any more) and from a plain copy of what is to be saved, since the
// windows cannot be used from inside exit(). The copy is refreshed each
// time the GUI thread has handled what came in and is about to wait.
Program *g_running = nullptr;
std::mutex g_copyMutex;
std::optional<Program::SaveCopy> g_copy;

void refreshCopy()
{
    if (Program *program = g_running) {
        Program::SaveCopy copy = program->saveCopy();
        const std::lock_guard lock(g_copyMutex);
        g_copy = std::move(copy);
    }
}

extern "C" void saveOnAbruptExit()
{
    Program *program = g_running;
    g_running = nullptr;
    std::optional<Program::SaveCopy> copy;
    {
        const std::lock_guard lock(g_copyMutex);
        copy.swap(g_copy);
    }
    if (program && copy)
        program->saveFromCopy(*copy);
}

} // namespace

int runProgram(platform::SoundPlayer &sound, const QString &programFolder, const QString &vendorHost,
               platform::QuitSignals &quitSignals)
{
    setQuitting(false);
    // Connected before any window exists: a message shown while the
    // windows are made runs a message loop of its own, and a quit request
    // arriving there must end it rather than be lost.
    // Shared with a close that may still be queued when this returns.
    const auto mainWindow = std::make_shared<QPointer<Tmain>>();
    const QMetaObject::Connection onQuit =
        QObject::connect(&quitSignals, &platform::QuitSignals::quitRequested, qApp, [mainWindow](int) {
            setQuitting(true);
            // Closed from the main loop, once any box's loop has returned:
            // a close already under way (its box just ended) hides the
            // window, and that one is not repeated.
            QTimer::singleShot(0, qApp, [mainWindow] {
                if (Tmain *window = *mainWindow; window && window->isVisible())
                    window->close();
            });
        });

    Program program(sound, programFolder, vendorHost);
    *mainWindow = &program.mainWindow();
    if (isQuitting()) {
        // Never shown, so nothing closes it: save as its closing would.
        program.saveAll(Program::Report::Shown);
        QObject::disconnect(onQuit);
        return 0;
    }

    // The session manager asks first whether everything is saved; it may
    // still end the session or cancel it, so nothing else changes.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &program.mainWindow(),
                     [&program](QSessionManager &) { program.saveAll(Program::Report::Shown); });

    static bool exitHandlerInstalled = false;
    if (!exitHandlerInstalled)
        exitHandlerInstalled = std::atexit(saveOnAbruptExit) == 0;
    g_running = &program;
    refreshCopy();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &program.mainWindow(), refreshCopy);

    program.mainWindow().show();
    const int status = QApplication::exec();
    // From here on the windows save as they close, in the usual order.
    g_running = nullptr;
    {
        const std::lock_guard lock(g_copyMutex);
        g_copy.reset();
    }
    QObject::disconnect(onQuit);
    return status;
}

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
    return runProgram(sound, platform::playerFilesFolder(QApplication::applicationDirPath()), vendorHost,
                      quitSignals);
}
