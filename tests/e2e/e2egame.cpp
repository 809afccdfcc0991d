// The program as players get it, but talking to the vendor server named on
// the command line, so the end-to-end test can give it a loopback server on
// a free port:
//
//   pegsquare_e2e_game --vendor-host HOST:PORT [Qt options]
#include "runprogram.h"

#include <QString>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char *argv[])
{
    QString host;
    // What is not ours is passed on to the application object.
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--vendor-host") == 0 && i + 1 < argc)
            host = QString::fromLocal8Bit(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    if (host.isEmpty()) {
        std::fputs("usage: pegsquare_e2e_game --vendor-host HOST:PORT\n", stderr);
        return 2;
    }
    int restCount = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    return runPegsquare(restCount, rest.data(), host);
}
