#include "playerfolder.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace platform {

bool canCreateFilesIn(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".pegsquare-probe-XXXXXX")));
    return probe.open(); // removed again when `probe` goes
}

QString playerFilesFolder(const QString &programFolder, const QString &userFolder)
{
    if (canCreateFilesIn(programFolder))
        return programFolder;
    if (!userFolder.isEmpty() && QDir().mkpath(userFolder) && canCreateFilesIn(userFolder))
        return QDir::cleanPath(userFolder);
    return programFolder;
}

QString playerFilesFolder(const QString &programFolder)
{
    return playerFilesFolder(programFolder, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

} // namespace platform
