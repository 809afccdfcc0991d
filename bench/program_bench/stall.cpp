// GUI-thread stalls: a 5 ms timer's lateness while the program plays games
// and then runs the update check, the list, a posting and the installer
// download against a slow loopback server, against the idle GUI thread;
// with the events and handlers that took the time.

#include "figures.h"
#include "listpage.h"
#include "playerfolder.h"
#include "playgame.h"
#include "program_bench.h"
#include "slowserver.h"
#include "stallprobes.h"

#include "gameresources.h"
#include "htmlview.h"
#include "highscoreform.h"
#include "httpget.h"
#include "mainform.h"
#include "messageboxes.h"
#include "minisigner.h"
#include "program.h"
#include "updatecheck.h"
#include "sdlsoundplayer.h"
#include "updater.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace programbench {

namespace {

// How long each arriving list page takes to go into the view, measured
// around the window's own handler.
struct HandlerTimes {
    std::vector<double> listMs;
    std::vector<double> listCpuMs;
};

} // namespace

int stallBench(int installerKiB, int kibPerSecond, char *argv0)
{
    char *argv[] = {argv0, nullptr};
    int argc = 1;
    TimingApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> messages;
    setMessageBoxHandler([&](const QString &text) { messages.push_back("message: " + text.toStdString()); });
    setErrorBoxHandler([&](const QString &text) { messages.push_back("error: " + text.toStdString()); });

    // The installer in 4 KiB pieces at the given rate; the pages in small
    // pieces over a second or two, each after a delay before its head.
    const std::size_t installerBytes = std::size_t(installerKiB) * 1024;
    std::string installer(installerBytes, '\0');
    for (std::size_t i = 0; i < installer.size(); ++i)
        installer[i] = char((i * 2654435761u) >> 24);
    const double installerInterval = 4.0 * 1000.0 / kibPerSecond;
    // A signature beside the installer, as the vendor publishes one, made
    // with a key pair of this run that the updater is told to trust below:
    // the updater starts no installer it cannot verify.
    const std::string offeredVersion = "1.0.2";
    const testsign::Signer signer;
    TUpdater signedFor{QString()};
    signedFor.setOfferedVersion(QString::fromStdString(offeredVersion));
    const std::string signature = signer.sign(installer, signedFor.expectedTrustedComment().toStdString());
    const std::string list = scoreListBody();
    SlowServer server({
        {"/pegsquare/pegsquareversion.txt", {"text/plain", offeredVersion, 400, 1, 100}},
        {"/counter/pegsquare.shtml", {"text/html; charset=utf-8", list, 300, 512, 40}},
        {"/cgi-bin/pegsquare.cgi",
         {"text/html; charset=utf-8", "<html><body><p>Your score was received.</p></body></html>\n", 800, 8, 40}},
        {"/pegsquare/pegsetup.exe", {"application/octet-stream", installer, 200, 4096, installerInterval}},
        {"/pegsquare/pegsetup.exe.minisig", {"text/plain", signature, 200, 512, 40}},
    });

    const fs::path folder = fs::temp_directory_path() / ("pegsquare-stall-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    preparePlayerFolder(folder);
    {
        std::ofstream(folder / "pegsquare") << "stand-in for the program file\n";
    }

    platform::SdlSoundPlayer sound(gameresources::soundFiles());
    auto program = std::make_unique<Program>(sound, QString::fromStdString(folder.string()),
                                             QString::fromStdString(server.host()));
    Tmain &w = program->mainWindow();
    TUpdater &updater = program->updateCheck().updater();
    updater.programPath = QString::fromStdString((folder / "pegsquare").string());
    updater.publicKey = QString::fromStdString(signer.publicKeyLine());
    QString launched;
    bool exited = false;
    updater.Launch = [&](const QString &path, const QStringList &) {
        launched = path;
        return true;
    };
    updater.Exit = [&](int) { exited = true; };
    HandlerTimes handlerTimes;
    // From the list fetch's end until its page is whole in the view, every
    // firing of the probe says how long the GUI thread was kept away.
    bool listArriving = false;
    double listLateness = 0;
    {
        THTTPGet &getit = program->highscore().getit();
        const THTTPGet::DoneStringEvent original = getit.OnDoneString;
        getit.OnDoneString = [original, &handlerTimes, &listArriving](THTTPGet *sender, const QByteArray &result) {
            listArriving = true;
            QElapsedTimer clock;
            clock.start();
            const std::int64_t cpu = threadCpuNs();
            original(sender, result);
            handlerTimes.listMs.push_back(double(clock.nsecsElapsed()) / 1e6);
            handlerTimes.listCpuMs.push_back(double(threadCpuNs() - cpu) / 1e6);
        };
    }

    auto *probe = new LatenessProbe(&app);
    double lastFiringMs = 0;
    probe->OnFired = [&] {
        ++app.probeFirings;
        const double now = probe->sinceStartMs();
        if (listArriving) {
            listLateness = std::max(listLateness, now - lastFiringMs - LatenessProbe::kIntervalMs);
            listArriving = program->highscore().displayhtml().isLoading();
        }
        lastFiringMs = now;
    };
    std::string problem;
    QElapsedTimer phaseClock;
    std::map<std::string, double> phaseSeconds;
    const auto endPhase = [&](const std::string &name) { phaseSeconds[name] = double(phaseClock.restart()) / 1e3; };

    // The script: idle, ten games, then the fetches and a posting on their
    // workers, then the download on the GUI thread with another list fetch
    // and another posting started in the middle of it.
    const auto busy = [&] {
        return program->updateCheck().checkupdate().isBusy() || program->highscore().getit().isBusy()
               || program->highscore().sendit().isBusy();
    };
    std::function<void()> afterFetches;
    std::function<void()> waitFetches = [&] {
        if (busy()) {
            QTimer::singleShot(50, &app, waitFetches);
            return;
        }
        endPhase("fetches");
        afterFetches();
    };
    afterFetches = [&] {
        probe->phase("download");
        QTimer::singleShot(1500, &app, [&] {
            w.button_highscoresClick();
            w.button_sendscoreClick();
        });
        w.button_updateyesClick();  // returns when the download is over
        endPhase("download");
        probe->phase("after");
        QTimer::singleShot(1000, &app, [&] {
            if (!waitFor([&] { return !busy(); }, 30'000))
                problem = "fetches still running after the download";
            endPhase("after");
            probe->stop();
            QCoreApplication::quit();
        });
    };

    w.show();
    probe->start();
    probe->phase("idle");
    phaseClock.start();
    HandlerLog handlers;
    QTimer::singleShot(2000, &app, [&] {
        endPhase("idle");
        // Games first: every round start and every entry into the ten best
        // writes the tally (on the tally's writer thread; this thread waits
        // only when a change finds the previous write still under way).
        probe->phase("games");
        for (int game = 0; game < 10; ++game)
            playGame(w, 2000u + std::uint32_t(game), &handlers);
        endPhase("games");
        probe->phase("fetches");
        w.CheckforUpdateNow1Click();
        w.button_highscoresClick();
        QTimer::singleShot(300, &app, [&] { w.button_sendscoreClick(); });
        QTimer::singleShot(500, &app, waitFetches);
    });
    // Nothing here may take long; a hang ends the run as a failure.
    QTimer::singleShot(10 * 60'000, &app, [&] {
        problem = "the script did not finish";
        QCoreApplication::quit();
    });
    QApplication::exec();

    const std::vector<std::string> served = server.served();
    const auto count = [&](const std::string &path) { return std::count(served.begin(), served.end(), path); };
    const qint64 installerSize = QFileInfo(launched).size();
    std::printf("stall: installer %d KiB at %d KiB/s; requests: version %ld, list %ld, posting %ld, installer %ld, "
                "signature %ld; launched %s (%lld bytes), exit %s\n",
                installerKiB, kibPerSecond, long(count("/pegsquare/pegsquareversion.txt")),
                long(count("/counter/pegsquare.shtml")), long(count("/cgi-bin/pegsquare.cgi")),
                long(count("/pegsquare/pegsetup.exe")), long(count("/pegsquare/pegsetup.exe.minisig")),
                launched.isEmpty() ? "nothing" : "the installer", (long long)installerSize,
                exited ? "asked" : "not asked");
    for (const std::string &m : messages)
        std::printf("  %s\n", m.c_str());
    int failures = 0;
    if (launched.isEmpty() || installerSize != qint64(installerBytes) || !exited) {
        std::printf("  the download did not complete as a player's would\n");
        ++failures;
    }
    if (!problem.empty()) {
        std::printf("  %s\n", problem.c_str());
        ++failures;
    }

    const std::vector<double> &idle = probe->samples("idle");
    std::printf("GUI thread lateness of a %d ms timer (ms):\n", LatenessProbe::kIntervalMs);
    std::printf("  %-9s %8s %8s %8s %8s %8s %12s\n", "phase", "seconds", "firings", "median", "p99", "max",
                "worst at (s)");
    for (const std::string &name : probe->phases()) {
        const std::vector<double> &s = probe->samples(name);
        std::printf("  %-9s %8.1f %8zu %8.2f %8.2f %8.2f %12.2f\n", name.c_str(), phaseSeconds[name], s.size(),
                    median(s), percentile(s, 99), maxOf(s), probe->worstAtMs(name) / 1e3);
    }
    std::printf("handlers during the games, ms wall (calls, median, max):");
    for (const auto &[name, ms] : handlers)
        std::printf(" %s %zu, %.2f, %.2f;", name.c_str(), ms.size(), median(ms), maxOf(ms));
    std::printf("\n");
    std::printf("list page (%zu bytes) into the view, the list fetch's done handler, ms wall/cpu:", list.size());
    for (std::size_t i = 0; i < handlerTimes.listMs.size(); ++i)
        std::printf(" %.1f/%.1f", handlerTimes.listMs[i], handlerTimes.listCpuMs[i]);
    std::printf("\nevents that kept the GUI thread %.0f ms or more (depth 0 = straight from the loop):\n",
                TimingApplication::kSlowMs);
    for (const TimingApplication::Slow &e : app.slow)
        std::printf("  %-9s at %6.2f s  %6.1f ms (cpu %5.1f)  depth %d  event %d to %s\n", e.phase.c_str(), e.atS,
                    e.ms, e.cpuMs, e.depth, e.type, e.receiver.c_str());
    // The list page arriving: the list fetch's end, the page's hand-over
    // from the thread that read it (through the application object, which
    // other hand-overs use too) and the steps that finish it in the view.
    double longestListEvent = 0;
    for (const std::string name : {"fetches", "download"})
        for (const char *who : {"THTTPGet getit", "QApplication", "THtmlView displayhtml", "QTimer heldRowsTimer"})
            longestListEvent = std::max(longestListEvent, app.longest[name][who]);
    figure("GUI stall max, list page arriving", listLateness, "ms", "idle GUI thread", maxOf(idle));
    figure("longest event, list page arriving", longestListEvent, "ms", "idle GUI thread", maxOf(idle));
    if (listLateness >= 16) {
        std::printf("  the list page arriving kept the GUI thread 16 ms or more\n");
        ++failures;
    }
    for (const std::string name : {"games", "fetches", "download"}) {
        const std::vector<double> &s = probe->samples(name);
        figure("GUI stall max, " + name, maxOf(s), "ms", "idle GUI thread", maxOf(idle));
        figure("GUI stall p99, " + name, percentile(s, 99), "ms", "idle GUI thread", percentile(idle, 99));
        if (maxOf(s) >= 50) {
            std::printf("  OVER 50 ms in phase %s\n", name.c_str());
            ++failures;
        }
    }
    program.reset();
    setMessageBoxHandler({});
    setErrorBoxHandler({});
    fs::remove_all(folder);

    listPageAlone(list);
    return failures ? 1 : 0;
}

} // namespace programbench
