// Start-up: process start to the main window's first paint, the real
// program against a bare QMainWindow with one label, each in fresh
// processes that are this executable again in its child mode.

#include "childprocess.h"
#include "figures.h"
#include "firstpaint.h"
#include "playerfolder.h"
#include "program_bench.h"
#include "slowserver.h"

#include "mainform.h"
#include "runprogram.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace programbench {

namespace {

int bareWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pegsquare"));
    window.setCentralWidget(new QLabel(QStringLiteral("Pegsquare"), &window));
    window.resize(Tmain::kDefaultWidth, Tmain::kDefaultHeight);
    window.show();
    return QApplication::exec();
}

} // namespace

// A child: the program itself through runPegsquare, from the folder the
// executable was copied into, or the bare window.
int startupChild(const std::string &which, const std::string &host, char *argv0)
{
    watchStartup();
    char *argv[] = {argv0, nullptr};
    int argc = 1;
    if (which == "game")
        return runPegsquare(argc, argv, QString::fromStdString(host));
    return bareWindow(argc, argv);
}

int startupBench(int runs)
{
    // The program keeps its files beside its executable, so it runs from a
    // copy in a folder of its own, with a player's files in it.
    const fs::path folder = fs::temp_directory_path() / ("pegsquare-startup-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    preparePlayerFolder(folder);
    const fs::path exe = folder / "program_bench";
    fs::copy_file(selfPath(), exe, fs::copy_options::overwrite_existing);
    RefusingPort refusing;

    std::map<std::string, std::vector<double>> toPaint, toFrame, toMain, toApp, toShow, rss;
    // One warm-up run of each, so both start from the same page cache.
    for (int run = -1; run < runs; ++run) {
        for (const std::string which : {"game", "bare"}) {
            const ChildRun child = runChild(exe.string(), {"startup-child", which, refusing.host()});
            auto f = fields(child.output, "STARTUP");
            if (child.status != 0 || f.count("paint") == 0) {
                std::fprintf(stderr, "startup %s run %d failed (status %d): %s\n", which.c_str(), run,
                             child.status, child.output.c_str());
                fs::remove_all(folder);
                return 1;
            }
            const std::string expected = which == "game" ? "Tmain" : "QMainWindow";
            if (f["window"] != expected) {
                std::fprintf(stderr, "startup %s: the first window painted was %s, not %s\n", which.c_str(),
                             f["window"].c_str(), expected.c_str());
                fs::remove_all(folder);
                return 1;
            }
            if (run < 0)
                continue;
            const auto ms = [&](const char *key) { return double(std::stoll(f[key]) - child.spawnedNs) / 1e6; };
            toMain[which].push_back(ms("main"));
            toApp[which].push_back(ms("app"));
            toShow[which].push_back(ms("show"));
            toPaint[which].push_back(ms("paint"));
            toFrame[which].push_back(ms("done"));
            rss[which].push_back(std::stod(f["rss"]) / 1024.0);
        }
    }
    fs::remove_all(folder);

    std::printf("start-up, %d fresh processes each (median; min … max), ms from spawn\n", runs);
    for (const std::string which : {"game", "bare"}) {
        const auto &p = toPaint[which];
        std::printf("  %-5s main() %.1f  core application %.1f  window shown %.1f  first paint %.1f (%.1f … %.1f)"
                    "  frame done %.1f  RSS then %.1f MiB\n",
                    which.c_str(), median(toMain[which]), median(toApp[which]), median(toShow[which]), median(p),
                    *std::min_element(p.begin(), p.end()), maxOf(p), median(toFrame[which]), median(rss[which]));
    }
    figure("start-up to first paint", median(toPaint["game"]), "ms", "bare window", median(toPaint["bare"]));
    figure("start-up to first frame done", median(toFrame["game"]), "ms", "bare window", median(toFrame["bare"]));
    return 0;
}

} // namespace programbench
