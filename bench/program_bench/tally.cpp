// The tally file: its load and save against plain file calls and the
// atomic writer on the same bytes.

#include "figures.h"
#include "playerfolder.h"
#include "program_bench.h"

#include "atomicfile.h"
#include "lzrw1.h"
#include "tallyfile.h"
#include "tallygrid.h"
#include "tallylistform.h"

#include <QApplication>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <cstdio>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace programbench {

namespace {

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

// The GUI thread's time per tally change, made as the game makes it
// (a round started, through the tally window), in two ways taking turns:
// waiting on this thread until the change is on disk, as every change did
// while the write was made here, and the change alone, its write left to
// the writer's thread while the player plays on (waited for outside the
// clock, as the next change would). Medians in microseconds: {waited, alone}.
std::pair<double, double> changeOnGuiThread(const fs::path &folder, double seconds)
{
    std::unique_ptr<QApplication> app;
    static int argc = 1;
    static char name[] = "program_bench";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = std::make_unique<QApplication>(argc, argv);
    }
    const fs::path path = folder / "changes.tld";
    tallyfile::save(path, fullTally());
    std::vector<double> waited;
    std::vector<double> alone;
    {
        Ttallylist tally(path);
        const auto start = std::chrono::steady_clock::now();
        while (waited.size() < 20
               || std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
            auto t0 = std::chrono::steady_clock::now();
            tally.addtomineincrease(1);
            tally.waitForSaves();
            waited.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
            t0 = std::chrono::steady_clock::now();
            tally.addtomineincrease(1);
            alone.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
            tally.waitForSaves();
            QCoreApplication::processEvents();
        }
    }
    fs::remove(path);
    return {median(waited), median(alone)};
}

} // namespace

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

    const auto [waited, alone] = changeOnGuiThread(folder, seconds);
    std::printf("tally change on the GUI thread (median µs): %.1f with its write off the thread, %.1f waiting for "
                "the write\n",
                alone, waited);
    figure("tally change, GUI thread", alone, "us", "same change waiting for its write", waited);
    return 0;
}

} // namespace programbench
