#include "playerfolder.h"

#include "tallyfile.h"

#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace programbench {

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

void preparePlayerFolder(const fs::path &folder)
{
    fs::create_directories(folder);
    tallyfile::save(tallyfile::pathFor(folder, "pegsquare"), fullTally());
    std::ofstream ini(folder / "pegsquare.ini", std::ios::binary);
    ini << "[pegsquare]\r\nTop=3\r\nLeft=3\r\nWidth=706\r\nHeight=571\r\nName=Wolfgang\r\nSounds=1\r\nUpdate=1\r\n";
}

} // namespace programbench
