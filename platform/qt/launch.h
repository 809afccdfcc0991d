#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Starts the program file at `path` with `arguments` as a process of its
// own that outlives this one. The file must already be executable: its
// permissions are the caller's decision and are left as they are. True
// when the process was started; says nothing about how it ends.
bool launchDetached(const QString &path, const QStringList &arguments);

} // namespace platform
