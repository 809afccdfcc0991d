// Figures for the program as a player meets it, each beside a peer
// measured in the same run:
//
//   program_bench startup [RUNS]        process start → main window first
//                                       painted, the real program against
//                                       a bare QMainWindow with one label,
//                                       RUNS fresh processes of each
//   program_bench memory [GAMES]        VmRSS / VmHWM after start and after
//                                       GAMES games played through the main
//                                       window's handlers, against the bare
//                                       window
//   program_bench tally [FOLDER] [SEC]  load and save of a full tally file
//                                       against plain file calls and the
//                                       atomic writer on the same bytes
//   program_bench stall [KIB] [KIB/S]   the GUI thread's longest stall
//                                       during ten games, then while the
//                                       update check, the list, a posting
//                                       and an installer download of KIB
//                                       KiB at KIB/S run against a slow
//                                       loopback server, against the idle
//                                       GUI thread; with the events and
//                                       handlers that took the time
//
// Not a test: it prints figures. Lines starting with "FIGURE\t" carry
// name, value, unit, peer name, peer value and ratio for the runner
// script's table. The display comes from the environment (QT_QPA_PLATFORM
// or DISPLAY), the same for the program and its peer.

#include "mainform.h"
#include "messageboxes.h"
#include "program.h"
#include "runprogram.h"
#include "sdlsoundplayer.h"
#include "gameresources.h"
#include "tallyfile.h"
#include "tallygrid.h"
#include "atomicfile.h"
#include "lzrw1.h"
#include "highscoreform.h"
#include "htmlview.h"
#include "httpget.h"
#include "imagecontrol.h"
#include "updater.h"

#ifdef PEG_BENCH_SERVER_PAGES
#include "pages.h"
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- helpers

// CLOCK_MONOTONIC is shared by every process on the machine, so a child's
// readings can be set against the moment its parent spawned it.
std::int64_t monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t rank = std::size_t(p / 100.0 * double(values.size()) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, values.size());
    return values[rank - 1];
}

std::int64_t threadCpuNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void figure(const std::string &name, double value, const std::string &unit, const std::string &peerName,
            double peerValue)
{
    const double ratio = peerValue > 0 ? value / peerValue : 0;
    std::printf("FIGURE\t%s\t%.3f\t%s\t%s\t%.3f\t%.3g\n", name.c_str(), value, unit.c_str(), peerName.c_str(),
                peerValue, ratio);
    std::fflush(stdout);
}

// "VmRSS" → kB from /proc/self/status; -1 when missing.
long statusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return -1;
}

// A loopback port where a connection is refused at once: bound, never
// listening. The program's update check at start-up goes there, so it
// neither waits for a time-out nor asks a server another program runs.
class RefusingPort {
public:
    RefusingPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("no loopback socket");
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(m_fd); }
    RefusingPort(const RefusingPort &) = delete;
    RefusingPort &operator=(const RefusingPort &) = delete;
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};

struct ChildRun {
    std::int64_t spawnedNs = 0;
    std::string output;
    int status = -1;
};

// Runs this executable (or `program`) with `arguments`, collecting its
// standard output; its standard error passes through. A child that takes
// longer than `timeoutMs` is killed and reported as failed.
ChildRun runChild(const std::string &program, const std::vector<std::string> &arguments, int timeoutMs = 60'000)
{
    ChildRun run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    run.spawnedNs = monotonicNs();
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
    const std::int64_t deadline = run.spawnedNs + std::int64_t(timeoutMs) * 1'000'000;
    char buffer[4096];
    for (;;) {
        const std::int64_t left = (deadline - monotonicNs()) / 1'000'000;
        pollfd fd{ends[0], POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, int(left)) == 0) {
            std::fprintf(stderr, "child %s timed out; killed\n", arguments.empty() ? "" : arguments[0].c_str());
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        run.output.append(buffer, std::size_t(got));
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return run;
}

// "key=value" fields of the first output line starting with `tag`.
std::map<std::string, std::string> fields(const std::string &output, const std::string &tag)
{
    std::map<std::string, std::string> result;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(tag + " ", 0) != 0)
            continue;
        std::istringstream words(line.substr(tag.size() + 1));
        std::string word;
        while (words >> word) {
            const auto eq = word.find('=');
            if (eq != std::string::npos)
                result[word.substr(0, eq)] = word.substr(eq + 1);
        }
        break;
    }
    return result;
}

std::string selfPath()
{
    return fs::read_symlink("/proc/self/exe").string();
}

// A tally as full as it gets: every statistic with many digits, all ten
// ranks taken, each with the longest name the name box accepts.
TallyGrid fullTally()
{
    TallyGrid grid;
    grid.setEmptyContents();
    for (int column = 0; column <= 4; ++column)
        grid.setCell(column, 0, std::to_string(123456 + column * 1111));
    for (int rank = 1; rank <= TallyGrid::kRanks; ++rank) {
        grid.setCell(0, rank, "12/" + std::to_string(10 + rank) + "/2026");
        grid.setCell(1, rank, std::to_string(9000 - rank * 37));
        std::string name = "Wolfgang" + std::to_string(rank);
        name.resize(10, 'x');
        grid.setCell(2, rank, name);
    }
    return grid;
}

// Writes a full tally and a settings file into `folder`, as a player's
// program folder holds them after some weeks of play.
void preparePlayerFolder(const fs::path &folder)
{
    fs::create_directories(folder);
    tallyfile::save(tallyfile::pathFor(folder, "pegsquare"), fullTally());
    std::ofstream ini(folder / "pegsquare.ini", std::ios::binary);
    ini << "[pegsquare]\r\nTop=3\r\nLeft=3\r\nWidth=706\r\nHeight=571\r\nName=Wolfgang\r\nSounds=1\r\nUpdate=1\r\n";
}

// ------------------------------------------------------- start-up timing

bool g_watchPaint = false;
std::int64_t g_mainNs = 0;
std::int64_t g_appNs = 0;

// Watches every event of the application for the first paint of a
// top-level window, notes when it came and when that frame was finished
// (the next turn of the event loop), prints both and ends the loop.
class FirstPaintWatch : public QObject {
public:
    using QObject::QObject;
    std::function<void()> OnFrameDone;
    bool painted() const { return m_paintNs != 0; }
    bool frameDone() const { return m_doneNs != 0; }
    std::int64_t paintNs() const { return m_paintNs; }
    std::int64_t doneNs() const { return m_doneNs; }
    std::int64_t showNs() const { return m_showNs; }
    const char *window() const { return m_window; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_showNs == 0 && event->type() == QEvent::Show && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow())
            m_showNs = monotonicNs();
        if (m_paintNs == 0 && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow()) {
            m_paintNs = monotonicNs();
            m_window = watched->metaObject()->className();
            QTimer::singleShot(0, this, [this] {
                m_doneNs = monotonicNs();
                if (OnFrameDone)
                    OnFrameDone();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::int64_t m_paintNs = 0;
    std::int64_t m_doneNs = 0;
    std::int64_t m_showNs = 0;
    const char *m_window = "";
};

FirstPaintWatch *g_watch = nullptr;

// Runs inside the application object's constructor, so the watch is in
// place before any window of the program exists.
void installPaintWatch()
{
    if (!g_watchPaint)
        return;
    g_appNs = monotonicNs();
    g_watch = new FirstPaintWatch(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(g_watch);
    g_watch->OnFrameDone = [] {
        std::printf("STARTUP main=%lld app=%lld show=%lld paint=%lld done=%lld rss=%ld window=%s\n",
                    (long long)g_mainNs, (long long)g_appNs, (long long)g_watch->showNs(),
                    (long long)g_watch->paintNs(), (long long)g_watch->doneNs(), statusKb("VmRSS"),
                    g_watch->window());
        std::fflush(stdout);
        QCoreApplication::quit();
    };
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installPaintWatch)

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

// A child: the program itself through runPegsquare, from the folder the
// executable was copied into, or the bare window.
int startupChild(const std::string &which, const std::string &host, char *argv0)
{
    g_watchPaint = true;
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

// ------------------------------------------------------------- memory

// How long each kind of handler call took, in ms, when asked for.
using HandlerLog = std::map<std::string, std::vector<double>>;

// Plays one whole game through the window's own handlers: Start, a click
// on each cell in reading order, the result ticks, Continue while rounds
// clear. Events are processed after every move so the board repaints as
// it would for a player. Returns the number of rounds.
int playGame(Tmain &w, std::uint32_t seed, HandlerLog *log = nullptr)
{
    const auto timed = [log](const char *name, const std::function<void()> &call) {
        QElapsedTimer clock;
        clock.start();
        call();
        if (log)
            (*log)[name].push_back(double(clock.nsecsElapsed()) / 1e6);
    };
    w.random().setSeed(seed);
    timed("button_startClick", [&] { w.button_startClick(); });
    int rounds = 0;
    for (;;) {
        ++rounds;
        for (int row = 1; row <= 4; ++row)
            for (int column = 1; column <= 4; ++column) {
                ImageControl *cell = w.findChild<ImageControl *>(QStringLiteral("card_%1%2").arg(row).arg(column));
                timed("card_11Click", [&] { w.card_11Click(cell); });
                QCoreApplication::processEvents();
            }
        // Ticks until the outcome: the real timer may have ticked meanwhile.
        while (w.resultCountdown() >= 0)
            timed("Timer2Timer", [&] { w.Timer2Timer(); });
        QCoreApplication::processEvents();
        if (!w.gameInProgress() || rounds > 50)
            return rounds;
        timed("button_start2Click", [&] { w.button_start2Click(); });
    }
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

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
    waitFor([&] { return !program.mainWindow().checkupdate().isBusy(); }, 30'000);
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

// -------------------------------------------------------------- tally

// Times each operation one call at a time, taking turns, for about
// `seconds` in all (at least 20 calls each), so that all of them meet the
// same disk and the same load from other programs. The median of single
// calls, in microseconds, per operation.
std::vector<double> timeOps(double seconds, const std::vector<std::function<void()>> &ops)
{
    std::vector<std::vector<double>> us(ops.size());
    const auto start = std::chrono::steady_clock::now();
    while (us[0].size() < 20
           || std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
        for (std::size_t i = 0; i < ops.size(); ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            ops[i]();
            us[i].push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    std::vector<double> medians;
    for (const auto &samples : us)
        medians.push_back(median(samples));
    return medians;
}

int tallyBench(const fs::path &folder, double seconds)
{
    fs::create_directories(folder);
    const TallyGrid grid = fullTally();
    const fs::path path = tallyfile::pathFor(folder, "pegsquare");
    tallyfile::save(path, grid);
    std::string container;
    if (!platform::readWholeFile(path, container, 1u << 20))
        return 1;
    const std::string text = grid.toText();
    std::printf("tally: %zu bytes of grid text, %zu bytes of container, in %s\n", text.size(), container.size(),
                folder.c_str());

    TallyGrid loaded;
    tallyfile::load(path, loaded);
    if (loaded.toText() != text) {
        std::fprintf(stderr, "the tally does not read back as written\n");
        return 1;
    }

    const fs::path plainPath = folder / "plain.bin";
    const fs::path atomicPath = folder / "atomic.bin";
    const auto plainWrite = [&] {
        const platform::UniqueFd fd(::open(plainPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.isOpen() || ::write(fd.get(), container.data(), container.size()) != ssize_t(container.size()))
            throw std::runtime_error("plain write failed");
    };
    plainWrite();

    const auto encode = [&] {
        Tlzrw1 doit;
        doit.CompressMode = TCompressMode::Fast;
        const std::string t = grid.toText();
        const auto bytes = doit.CompressBytes(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(t.data()), t.size()));
        if (bytes.size() != container.size())
            throw std::runtime_error("coded size differs");
    };
    const auto decode = [&] {
        Tlzrw1 doit;
        const auto bytes = doit.DecompressBytes(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t *>(container.data()), container.size()));
        TallyGrid g;
        g.fromText(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    };
    const auto plainRead = [&] {
        std::string bytes;
        if (!platform::readWholeFile(plainPath, bytes, 1u << 20))
            throw std::runtime_error("plain read failed");
    };
    // Writes, which wait for the disk, and reads, which do not, are timed
    // in separate rounds so the reads are not measured behind a flush.
    const std::vector<double> writes = timeOps(seconds, {
        [&] { tallyfile::save(path, grid); },
        [&] { platform::writeFileAtomically(atomicPath, container); },
        plainWrite,
    });
    const std::vector<double> reads = timeOps(seconds, {
        [&] {
            TallyGrid g;
            tallyfile::load(path, g);
        },
        plainRead,
        encode,
        decode,
    });
    const double save = writes[0], atomic = writes[1], plain = writes[2];
    const double load = reads[0], plainReadUs = reads[1], encodeUs = reads[2], decodeUs = reads[3];
    fs::remove(plainPath);
    fs::remove(atomicPath);
    fs::remove(path);

    std::printf("tally (median µs per call): save %.1f = encode %.1f + atomic write %.1f (plain write %.1f); "
                "load %.1f = plain read %.1f + decode %.1f\n",
                save, encodeUs, atomic, plain, load, plainReadUs, decodeUs);
    figure("tally save", save, "us", "atomic writer, same bytes", atomic);
    figure("tally save", save, "us", "plain write, same bytes", plain);
    figure("tally encode (text + container)", encodeUs, "us", "atomic writer, same bytes", atomic);
    figure("tally load", load, "us", "plain read, same bytes", plainReadUs);
    return 0;
}

// -------------------------------------------------------------- stall

// A web server on loopback that answers slowly: each route's head comes
// after a delay, its body in small pieces on a schedule. One thread per
// connection, so the fetches and the download overlap as they would with a
// distant server. The pacing waits also watch a stop pipe, so the
// destructor never waits for a schedule to run out.
class SlowServer {
public:
    struct Route {
        std::string type;
        std::string body;
        int firstDelayMs = 0;
        std::size_t piece = 256;
        double intervalMs = 20;
    };

    explicit SlowServer(std::map<std::string, Route> routes) : m_routes(std::move(routes))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length) != 0
            || ::listen(m_listen, 16) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot listen on loopback");
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~SlowServer()
    {
        (void)!::write(m_stop[1], "s", 1);
        m_acceptor.join();
        for (std::thread &t : m_connections)
            t.join();
        ::close(m_listen);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    SlowServer(const SlowServer &) = delete;
    SlowServer &operator=(const SlowServer &) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> served() const
    {
        const std::lock_guard lock(m_mutex);
        return m_served;
    }

private:
    // Waits for `fd` or until `untilNs`; false when stopping or timed out
    // with nothing on `fd` (timeout is the normal end of a pacing wait).
    enum class Wait { Ready, Timeout, Stop };
    Wait wait(int fd, short events, std::int64_t untilNs) const
    {
        for (;;) {
            const std::int64_t left = untilNs < 0 ? -1 : std::max<std::int64_t>(0, (untilNs - monotonicNs()) / 1'000'000);
            pollfd fds[] = {{fd, events, 0}, {m_stop[0], POLLIN, 0}};
            const int n = ::poll(fds, fd < 0 ? 0 : 2, int(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || fds[1].revents)
                return Wait::Stop;
            if (n == 0) {
                if (untilNs >= 0 && monotonicNs() < untilNs)
                    continue;
                return Wait::Timeout;
            }
            return Wait::Ready;
        }
    }
    bool pace(std::int64_t untilNs) const
    {
        pollfd stop{m_stop[0], POLLIN, 0};
        for (;;) {
            const std::int64_t left = (untilNs - monotonicNs()) / 1'000'000;
            if (left <= 0)
                return true;
            const int n = ::poll(&stop, 1, int(left));
            if (n > 0)
                return false;
        }
    }

    void acceptLoop()
    {
        while (wait(m_listen, POLLIN, -1) == Wait::Ready) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                m_connections.emplace_back([this, client] {
                    serve(client);
                    ::close(client);
                });
        }
    }

    bool sendAll(int client, const char *data, std::size_t size) const
    {
        while (size > 0) {
            if (wait(client, POLLOUT, -1) != Wait::Ready)
                return false;
            const ssize_t put = ::send(client, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put < 0 && errno != EAGAIN)
                return false;
            if (put > 0) {
                data += put;
                size -= std::size_t(put);
            }
        }
        return true;
    }

    void serve(int client)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            if (wait(client, POLLIN, -1) != Wait::Ready)
                return;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, std::size_t(got));
        }
        const auto sp1 = request.find(' ');
        const auto sp2 = request.find(' ', sp1 + 1);
        std::string path = sp1 == std::string::npos ? "" : request.substr(sp1 + 1, sp2 - sp1 - 1);
        path = path.substr(0, path.find('?'));
        {
            const std::lock_guard lock(m_mutex);
            m_served.push_back(path);
        }
        const auto found = m_routes.find(path);
        const std::int64_t start = monotonicNs();
        if (found == m_routes.end()) {
            const std::string answer = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            sendAll(client, answer.data(), answer.size());
            return;
        }
        const Route &route = found->second;
        if (!pace(start + std::int64_t(route.firstDelayMs) * 1'000'000))
            return;
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: " + route.type
                                 + "\r\nContent-Length: " + std::to_string(route.body.size()) + "\r\n\r\n";
        if (!sendAll(client, head.data(), head.size()))
            return;
        const std::int64_t bodyStart = monotonicNs();
        std::size_t sent = 0;
        for (std::size_t piece = 0; sent < route.body.size(); ++piece) {
            if (!pace(bodyStart + std::int64_t(double(piece) * route.intervalMs * 1e6)))
                return;
            const std::size_t n = std::min(route.piece, route.body.size() - sent);
            if (!sendAll(client, route.body.data() + sent, n))
                return;
            sent += n;
        }
    }

    std::map<std::string, Route> m_routes;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;  // touched by the acceptor only, then by the destructor
    mutable std::mutex m_mutex;
    std::vector<std::string> m_served;
};

// The application object of the stall run: it times every event it
// delivers, so a stall can be traced to the event, the receiver and the
// handler behind it. An event during which the probe fired is a nested
// event loop (the download's wait), not a stall, and is not kept.
class TimingApplication : public QApplication {
public:
    struct Slow {
        std::string phase;
        int depth;
        std::string receiver;
        int type;
        double ms;
        double cpuMs;
        double atS;
    };
    static constexpr double kSlowMs = 15;

    TimingApplication(int &argc, char **argv) : QApplication(argc, argv) { m_clock.start(); }
    bool notify(QObject *receiver, QEvent *event) override
    {
        const qint64 t0 = m_clock.nsecsElapsed();
        const std::int64_t cpu0 = threadCpuNs();
        const std::uint64_t firings = probeFirings;
        const int type = event->type();
        // The receiver may not outlive the event (a deferred delete).
        std::string who = receiver->metaObject()->className();
        if (!receiver->objectName().isEmpty())
            who += " " + receiver->objectName().toStdString();
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        const double ms = double(m_clock.nsecsElapsed() - t0) / 1e6;
        if (ms >= kSlowMs && firings == probeFirings)
            slow.push_back({phase, m_depth, who, type, ms, double(threadCpuNs() - cpu0) / 1e6, double(t0) / 1e9});
        return result;
    }

    std::string phase = "none";
    std::uint64_t probeFirings = 0;
    std::vector<Slow> slow;

private:
    QElapsedTimer m_clock;
    int m_depth = 0;
};

// A 5 ms timer on the GUI thread; each firing's lateness is the time since
// the one before, less 5 ms. Samples are kept per phase of the script.
class LatenessProbe : public QObject {
public:
    static constexpr int kIntervalMs = 5;

    explicit LatenessProbe(QObject *parent) : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { fired(); });
        m_clock.start();
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    std::function<void()> OnFired;
    void phase(const std::string &name)
    {
        if (auto *timing = dynamic_cast<TimingApplication *>(QCoreApplication::instance()))
            timing->phase = name;
        m_phase = name;
        m_order.push_back(name);
    }
    const std::vector<std::string> &phases() const { return m_order; }
    const std::vector<double> &samples(const std::string &name) { return m_samples[name]; }
    double worstAtMs(const std::string &name) { return m_worstAt[name]; }
    double sinceStartMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }

private:
    void fired()
    {
        if (OnFired)
            OnFired();
        const qint64 now = m_clock.nsecsElapsed();
        // A gap belongs to the phase it began in: a stall that ends after
        // the script has moved on was caused before.
        if (m_last != 0) {
            const double late = double(now - m_last) / 1e6 - kIntervalMs;
            auto &s = m_samples[m_lastPhase];
            if (s.empty() || late > maxOf(s))
                m_worstAt[m_lastPhase] = double(now) / 1e6;
            s.push_back(std::max(0.0, late));
        }
        m_last = now;
        m_lastPhase = m_phase;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::string m_phase = "none";
    std::string m_lastPhase = "none";
    std::vector<std::string> m_order;
    std::map<std::string, std::vector<double>> m_samples;
    std::map<std::string, double> m_worstAt;
};

// How long each arriving list page takes to go into the view, measured
// around the window's own handler.
struct HandlerTimes {
    std::vector<double> listMs;
    std::vector<double> listCpuMs;
};

// The page going into a view on its own, outside the run, and then one
// synchronous repaint: the view's LoadText; the setHtml every QTextBrowser
// has; or that setHtml followed by a change of the root frame's margins,
// which is how the view sets its page margins. Wall and GUI-thread CPU
// medians in ms.
struct ViewCost {
    double loadMs, loadCpuMs, paintMs, paintCpuMs;
};
enum class Load { LoadText, SetHtml, SetHtmlThenMargins };
ViewCost viewCost(QTextBrowser &view, const QString &page, Load how, int runs)
{
    std::vector<double> load, loadCpu, paint, paintCpu;
    for (int i = 0; i < runs; ++i) {
        // Another document first, so each run replaces a page as the
        // window does.
        view.setHtml(QStringLiteral("<p>before</p>"));
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        std::int64_t cpu = threadCpuNs();
        if (how == Load::LoadText) {
            static_cast<THtmlView &>(view).LoadText(page, QString());
        } else {
            view.QTextBrowser::setHtml(page);
            if (how == Load::SetHtmlThenMargins) {
                QTextFrame *root = view.document()->rootFrame();
                QTextFrameFormat format = root->frameFormat();
                format.setLeftMargin(THtmlView::kMarginWidth);
                format.setRightMargin(THtmlView::kMarginWidth);
                format.setTopMargin(THtmlView::kMarginHeight);
                format.setBottomMargin(THtmlView::kMarginHeight);
                root->setFrameFormat(format);
            }
        }
        load.push_back(double(clock.nsecsElapsed()) / 1e6);
        loadCpu.push_back(double(threadCpuNs() - cpu) / 1e6);
        clock.restart();
        cpu = threadCpuNs();
        view.viewport()->repaint();
        paint.push_back(double(clock.nsecsElapsed()) / 1e6);
        paintCpu.push_back(double(threadCpuNs() - cpu) / 1e6);
    }
    return {median(load), median(loadCpu), median(paint), median(paintCpu)};
}

std::string scoreListBody()
{
#ifdef PEG_BENCH_SERVER_PAGES
    std::vector<StoredScore> scores;
    for (int i = 0; i < 100; ++i)
        scores.push_back({"Player number " + std::to_string(i), 9000 - i * 13, "12/9/26", "", i});
    return scoreListPage(scores, "http://127.0.0.1");
#else
    std::string page = "<html><body><table>";
    for (int i = 0; i < 100; ++i)
        page += "<tr><td>" + std::to_string(i + 1) + "</td><td>Player number " + std::to_string(i) + "</td><td>"
                + std::to_string(9000 - i * 13) + "</td><td>12/9/26</td></tr>\n";
    return page + "</table></body></html>\n";
#endif
}

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
    const std::string list = scoreListBody();
    SlowServer server({
        {"/pegsquare/pegsquareversion.txt", {"text/plain", "1.0.2", 400, 1, 100}},
        {"/counter/pegsquare.shtml", {"text/html; charset=utf-8", list, 300, 512, 40}},
        {"/cgi-bin/pegsquare.cgi",
         {"text/html; charset=utf-8", "<html><body><p>Your score was received.</p></body></html>\n", 800, 8, 40}},
        {"/pegsquare/pegsetup.exe", {"application/octet-stream", installer, 200, 4096, installerInterval}},
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
    TUpdater &updater = w.updater();
    updater.programPath = QString::fromStdString((folder / "pegsquare").string());
    QString launched;
    bool exited = false;
    updater.Launch = [&](const QString &path, const QStringList &) {
        launched = path;
        return true;
    };
    updater.Exit = [&](int) { exited = true; };
    HandlerTimes handlerTimes;
    {
        THTTPGet &getit = program->highscore().getit();
        const THTTPGet::DoneStringEvent original = getit.OnDoneString;
        getit.OnDoneString = [original, &handlerTimes](THTTPGet *sender, const QByteArray &result) {
            QElapsedTimer clock;
            clock.start();
            const std::int64_t cpu = threadCpuNs();
            original(sender, result);
            handlerTimes.listMs.push_back(double(clock.nsecsElapsed()) / 1e6);
            handlerTimes.listCpuMs.push_back(double(threadCpuNs() - cpu) / 1e6);
        };
    }

    auto *probe = new LatenessProbe(&app);
    probe->OnFired = [&app] { ++app.probeFirings; };
    std::string problem;
    QElapsedTimer phaseClock;
    std::map<std::string, double> phaseSeconds;
    const auto endPhase = [&](const std::string &name) { phaseSeconds[name] = double(phaseClock.restart()) / 1e3; };

    // The script: idle, ten games, then the fetches and a posting on their
    // workers, then the download on the GUI thread with another list fetch
    // and another posting started in the middle of it.
    const auto busy = [&] {
        return w.checkupdate().isBusy() || program->highscore().getit().isBusy()
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
        // writes the tally, on this thread.
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
    std::printf("stall: installer %d KiB at %d KiB/s; requests: version %ld, list %ld, posting %ld, installer %ld; "
                "launched %s (%lld bytes), exit %s\n",
                installerKiB, kibPerSecond, long(count("/pegsquare/pegsquareversion.txt")),
                long(count("/counter/pegsquare.shtml")), long(count("/cgi-bin/pegsquare.cgi")),
                long(count("/pegsquare/pegsetup.exe")), launched.isEmpty() ? "nothing" : "the installer",
                (long long)installerSize, exited ? "asked" : "not asked");
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

    // The view alone against a plain QTextBrowser, same page, same size.
    {
        const QString page = QString::fromStdString(list);
        QWidget holder;
        holder.resize(481, 507);
        auto *htmlView = new THtmlView(&holder);
        htmlView->setGeometry(1, 1, 479, 505);
        holder.show();
        QWidget plainHolder;
        plainHolder.resize(481, 507);
        auto *plain = new QTextBrowser(&plainHolder);
        plain->setGeometry(1, 1, 479, 505);
        plainHolder.show();
        waitFor([&] { return htmlView->isVisible() && plain->isVisible(); }, 5'000);
        viewCost(*htmlView, page, Load::LoadText, 1);  // warm-up: fonts, caches
        viewCost(*plain, page, Load::SetHtml, 1);
        const ViewCost mine = viewCost(*htmlView, page, Load::LoadText, 7);
        const ViewCost base = viewCost(*htmlView, page, Load::SetHtml, 7);
        const ViewCost margins = viewCost(*htmlView, page, Load::SetHtmlThenMargins, 7);
        const ViewCost peer = viewCost(*plain, page, Load::SetHtml, 7);
        std::printf("the list page alone (median of 7, ms wall/cpu): THtmlView::LoadText %.1f/%.1f, repaint "
                    "%.1f/%.1f; the same view's inherited setHtml alone %.1f/%.1f, and with the root frame's "
                    "margins set after it %.1f/%.1f; a plain QTextBrowser's setHtml %.1f/%.1f, repaint %.1f/%.1f\n",
                    mine.loadMs, mine.loadCpuMs, mine.paintMs, mine.paintCpuMs, base.loadMs, base.loadCpuMs,
                    margins.loadMs, margins.loadCpuMs, peer.loadMs, peer.loadCpuMs, peer.paintMs, peer.paintCpuMs);
        figure("list page LoadText, GUI-thread CPU", mine.loadCpuMs, "ms", "QTextBrowser::setHtml", peer.loadCpuMs);
    }
    return failures ? 1 : 0;
}

int usage()
{
    std::fprintf(stderr, "usage: program_bench startup [RUNS] | memory [GAMES] | tally [FOLDER] [SECONDS] | "
                         "stall [INSTALLER_KIB] [KIB_PER_SECOND]\n");
    return 2;
}

int positive(const char *text, int fallback)
{
    if (!text)
        return fallback;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > 100'000)
        throw std::invalid_argument(std::string("not a count: ") + text);
    return int(value);
}

} // namespace

int main(int argc, char *argv[])
{
    g_mainNs = monotonicNs();
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    const auto arg = [&](int i) -> const char * { return i < argc ? argv[i] : nullptr; };
    try {
        if (mode == "startup")
            return startupBench(positive(arg(2), 15));
        if (mode == "startup-child" && argc == 4)
            return startupChild(argv[2], argv[3], argv[0]);
        if (mode == "memory")
            return memoryBench(positive(arg(2), 10));
        if (mode == "memory-child" && argc == 6)
            return memoryChild(argv[2], argv[3], argv[4], positive(argv[5], 10), argv[0]);
        if (mode == "tally") {
            const fs::path folder =
                arg(2) ? fs::path(argv[2]) : fs::temp_directory_path() / ("pegsquare-tally-" + std::to_string(::getpid()));
            const double seconds = arg(3) ? std::stod(argv[3]) : 1.0;
            const int status = tallyBench(folder, seconds);
            if (!arg(2))
                fs::remove_all(folder);
            return status;
        }
        if (mode == "stall")
            return stallBench(positive(arg(2), 1536), positive(arg(3), 64), argv[0]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "program_bench %s: %s\n", mode.c_str(), error.what());
        return 1;
    }
    return usage();
}
