// pegpack: compresses files into the game's container format and restores
// them, for players who want to look into their tally file and for support.
//
//   pegpack c [-m fast|good|auto] IN OUT
//   pegpack d IN OUT
//   pegpack advise IN

#include "lzrw1.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage()
{
    std::fputs("usage: pegpack c [-m fast|good|auto] IN OUT   compress IN into the container OUT\n"
               "       pegpack d IN OUT                       restore the container IN to OUT\n"
               "       pegpack advise IN                      name the method suited to IN\n"
               "The default method is fast, the one the tally file uses.\n",
               stderr);
    return kExitUsage;
}

std::optional<TCompressMode> parseMode(std::string_view text)
{
    if (text == "fast")
        return TCompressMode::Fast;
    if (text == "good")
        return TCompressMode::Good;
    if (text == "auto")
        return TCompressMode::Auto;
    return std::nullopt;
}

const char *modeName(TCompressMode mode)
{
    return mode == TCompressMode::Fast ? "fast" : "good";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string_view command = argv[1];
    try {
        Tlzrw1 container;
        if (command == "c") {
            int arg = 2;
            TCompressMode mode = TCompressMode::Fast;
            if (argc > arg && std::string_view(argv[arg]) == "-m") {
                if (argc <= arg + 1)
                    return usage();
                const auto parsed = parseMode(argv[arg + 1]);
                if (!parsed)
                    return usage();
                mode = *parsed;
                arg += 2;
            }
            if (argc != arg + 2)
                return usage();
            container.InputFile = argv[arg];
            container.OutputFile = argv[arg + 1];
            container.CompressMode = mode;
            const std::int64_t written = container.Compress();
            std::printf("%s -> %s: %lld bytes written\n", container.InputFile.c_str(),
                        container.OutputFile.c_str(), static_cast<long long>(written));
            return 0;
        }
        if (command == "d") {
            if (argc != 4)
                return usage();
            container.InputFile = argv[2];
            container.OutputFile = argv[3];
            const std::int64_t restored = container.Decompress();
            std::printf("%s -> %s: %lld bytes restored\n", container.InputFile.c_str(),
                        container.OutputFile.c_str(), static_cast<long long>(restored));
            return 0;
        }
        if (command == "advise") {
            if (argc != 3)
                return usage();
            container.InputFile = argv[2];
            std::printf("%s\n", modeName(container.Advise()));
            return 0;
        }
        return usage();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailure;
    }
}
