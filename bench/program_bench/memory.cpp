// Resident memory: VmRSS and VmHWM of the program after start, after some
// games and after ten times as many, against a bare window; each in a
// child process of its own.

#include "childprocess.h"
#include "figures.h"
#include "firstpaint.h"
#include "playerfolder.h"
#include "playgame.h"
#include "program_bench.h"
#include "slowserver.h"

#include "gameresources.h"
#include "httpget.h"
#include "mainform.h"
#include "program.h"
#include "updatecheck.h"
#include "sdlsoundplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace programbench {

int memoryChild(const std::string &which, const std::string &folder, const std::string &host, int games,
                char *argv0)
{
    char *argv[] = {argv0, nullptr};
    int argc = 1;
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    const double appMs = double(clock.nsecsElapsed()) / 1e6;
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    QApplication::setQuitOnLastWindowClosed(false);
    auto *watch = new FirstPaintWatch(&app);
    app.installEventFilter(watch);

    const auto report = [](const char *when) {
        std::printf("MEM-%s rss=%ld hwm=%ld\n", when, statusKb("VmRSS"), statusKb("VmHWM"));
        std::fflush(stdout);
    };

    if (which == "bare") {
        QMainWindow window;
        window.setCentralWidget(new QLabel(QStringLiteral("Pegsquare"), &window));
        window.resize(Tmain::kDefaultWidth, Tmain::kDefaultHeight);
        window.show();
        if (!waitFor([&] { return watch->frameDone(); }, 30'000))
            return 1;
        report("start");
        return 0;
    }

    // As runPegsquare builds the program, with the player's folder given.
    // Each step timed, for where the start-up goes.
    clock.restart();
    QApplication::setWindowIcon(gameresources::programIcon());
    platform::SdlSoundPlayer sound(gameresources::soundFiles());
    const double soundMs = double(clock.nsecsElapsed()) / 1e6;
    clock.restart();
    Program program(sound, QString::fromStdString(folder), QString::fromStdString(host));
    const double programMs = double(clock.nsecsElapsed()) / 1e6;
    clock.restart();
    program.mainWindow().show();
    if (!waitFor([&] { return watch->frameDone(); }, 30'000))
        return 1;
    std::printf("STEPS application=%.1f icon+sound=%.1f windows=%.1f show+first-frame=%.1f\n", appMs, soundMs,
                programMs, double(clock.nsecsElapsed()) / 1e6);
    // The update check at start-up ends (refused) before the figure.
    waitFor([&] { return !program.updateCheck().checkupdate().isBusy(); }, 30'000);
    report("start");
    int rounds = 0;
    for (int game = 0; game < games; ++game)
        rounds += playGame(program.mainWindow(), 1000u + std::uint32_t(game));
    report("games");
    // Ten times as many more: growth from here on would be a leak.
    for (int game = games; game < 11 * games; ++game)
        rounds += playGame(program.mainWindow(), 1000u + std::uint32_t(game));
    report("more");
    std::printf("ROUNDS n=%d\n", rounds);
    return 0;
}

int memoryBench(int games)
{
    const fs::path folder = fs::temp_directory_path() / ("pegsquare-memory-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    preparePlayerFolder(folder);
    RefusingPort refusing;
    const std::string self = selfPath();
    const ChildRun game =
        runChild(self, {"memory-child", "game", folder.string(), refusing.host(), std::to_string(games)}, 600'000);
    const ChildRun bare =
        runChild(self, {"memory-child", "bare", folder.string(), refusing.host(), std::to_string(games)});
    fs::remove_all(folder);
    if (game.status != 0 || bare.status != 0) {
        std::fprintf(stderr, "memory children failed (%d, %d)\n%s\n%s\n", game.status, bare.status,
                     game.output.c_str(), bare.output.c_str());
        return 1;
    }
    const auto kb = [](const ChildRun &run, const char *tag, const char *key) {
        auto f = fields(run.output, tag);
        return f.count(key) ? std::stod(f[key]) / 1024.0 : 0.0;
    };
    const double bareRss = kb(bare, "MEM-start", "rss");
    const double bareHwm = kb(bare, "MEM-start", "hwm");
    std::printf("memory (MiB): game start RSS %.1f HWM %.1f; after %d games RSS %.1f HWM %.1f; "
                "after %d games RSS %.1f HWM %.1f (%s rounds in all); bare window RSS %.1f HWM %.1f\n",
                kb(game, "MEM-start", "rss"), kb(game, "MEM-start", "hwm"), games, kb(game, "MEM-games", "rss"),
                kb(game, "MEM-games", "hwm"), 11 * games, kb(game, "MEM-more", "rss"), kb(game, "MEM-more", "hwm"),
                fields(game.output, "ROUNDS")["n"].c_str(), bareRss, bareHwm);
    {
        auto steps = fields(game.output, "STEPS");
        std::printf("start-up steps in one process (ms): QApplication %s, icon and sounds %s, the six windows %s, "
                    "show to first frame %s\n",
                    steps["application"].c_str(), steps["icon+sound"].c_str(), steps["windows"].c_str(),
                    steps["show+first-frame"].c_str());
    }
    figure("RSS after start", kb(game, "MEM-start", "rss"), "MiB", "bare window", bareRss);
    figure("RSS after " + std::to_string(games) + " games", kb(game, "MEM-games", "rss"), "MiB", "bare window",
           bareRss);
    figure("HWM after " + std::to_string(games) + " games", kb(game, "MEM-games", "hwm"), "MiB", "bare window",
           bareHwm);
    figure("RSS after " + std::to_string(11 * games) + " games", kb(game, "MEM-more", "rss"), "MiB",
           "after " + std::to_string(games) + " games", kb(game, "MEM-games", "rss"));
    return 0;
}

} // namespace programbench
