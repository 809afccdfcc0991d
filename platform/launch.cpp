#include "launch.h"

#include <QFile>
#include <QProcess>

namespace platform {

bool launchDetached(const QString &path, const QStringList &arguments)
{
    const QFileDevice::Permissions exec = QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup
                                        | QFileDevice::ExeOther;
    if (!QFile::exists(path) || !QFile::setPermissions(path, QFile::permissions(path) | exec))
        return false;
    return QProcess::startDetached(path, arguments);
}

} // namespace platform
