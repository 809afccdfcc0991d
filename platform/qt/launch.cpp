#include "launch.h"

#include <QProcess>

namespace platform {

bool launchDetached(const QString &path, const QStringList &arguments)
{
    return QProcess::startDetached(path, arguments);
}

} // namespace platform
