#pragma once

#include <QString>

// Where the player's settings and tally live.
namespace platform {

// True when a new file can be created in `folder` right now: tried by
// creating (and removing) a file there, so read-only mounts, permissions
// and access lists all count as they would for a real save.
bool canCreateFilesIn(const QString &folder);

// The program's own folder when files can be created in it (a portable
// copy keeps everything beside itself), otherwise the per-user data
// folder (for an installed copy in a folder the player may not write),
// created when needed. Falls back to the program's folder when the
// per-user folder cannot be created either, so saving reports the failure
// against the place the player expects.
QString playerFilesFolder(const QString &programFolder);

// The same choice with the per-user folder given, for tests.
QString playerFilesFolder(const QString &programFolder, const QString &userFolder);

} // namespace platform
