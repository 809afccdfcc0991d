#pragma once

#include <filesystem>
#include <string>

class TallyGrid;

// The tally file: the grid's text form stored in the compressed container
// with its fast method. The text is coded in memory; no intermediate file
// is written anywhere.
namespace tallyfile {

// pegsquaretally.tld in `folder` for the program name "pegsquare".
std::filesystem::path pathFor(const std::filesystem::path &folder, const std::string &programname);

// Reads the file into `grid`. Throws std::exception carrying the message
// to show (the container's own messages for a damaged container). A
// container whose header announces more than 64 KiB of text is refused
// before any of it is restored.
void load(const std::filesystem::path &path, TallyGrid &grid);

// Writes `grid` to the file, all or nothing: the previous file stays as it
// was unless the new one is complete. Throws on failure, also for a grid
// whose text is larger than load accepts (only names far longer than any
// typed one can make it so).
void save(const std::filesystem::path &path, const TallyGrid &grid);

// Moves a file that failed to load out of the way so the next save does
// not destroy what may still be recovered: to "<name>.damaged", or, when
// that exists, the first free one of "<name>.damaged.2", ".3" … Never
// replaces a file that exists. Returns the new path, or an empty path
// when the file could not be moved (it is then where it was).
std::filesystem::path setAside(const std::filesystem::path &path);

} // namespace tallyfile
