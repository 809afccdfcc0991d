#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Starts the program file at `path` with `arguments` as a process of its
// own that outlives this one, after making the file executable. True when
// the process was started; says nothing about how it ends.
bool launchDetached(const QString &path, const QStringList &arguments);

} // namespace platform
