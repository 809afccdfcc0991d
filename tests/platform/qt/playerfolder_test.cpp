// Where the player's files go: beside a portable copy, or in the player's
// own folder for a copy installed where the player may not write.
#include "playerfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

TEST(PlayerFolder, ProgramFolderWhenWritableOtherwiseTheUsersOwn)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString writable = root.filePath(QStringLiteral("portable"));
    const QString readOnly = root.filePath(QStringLiteral("installed"));
    const QString aFile = root.filePath(QStringLiteral("plain-file"));
    QDir().mkpath(writable);
    QDir().mkpath(readOnly);
    QFile(aFile).open(QIODevice::WriteOnly);
    std::filesystem::permissions(readOnly.toStdString(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool privileged = ::geteuid() == 0;

    struct Row {
        const char *name;
        QString program;
        QString user;
        QString expected;
        bool needsUnprivileged;
    };
    const QString user = root.filePath(QStringLiteral("home/.local/share/Pegsquare"));
    const QString impossibleUser = aFile + QStringLiteral("/Pegsquare");
    const Row rows[] = {
        {"portable copy", writable, user, writable, false},
        {"folder that does not exist", root.filePath(QStringLiteral("gone")), user, user, false},
        {"a file where the folder should be", aFile, user, user, false},
        {"read-only folder", readOnly, user, user, true},
        {"neither can be written", aFile, impossibleUser, aFile, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsUnprivileged && privileged)
            continue; // folder permissions do not bind a privileged user
        QDir(user).removeRecursively();
        EXPECT_EQ(platform::playerFilesFolder(row.program, row.user), row.expected);
        EXPECT_EQ(QDir(user).exists(), row.expected == user);
    }
    // The writability probe leaves nothing behind.
    EXPECT_TRUE(QDir(writable).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    std::filesystem::permissions(readOnly.toStdString(), std::filesystem::perms::owner_all);
}

} // namespace
