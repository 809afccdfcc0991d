// The tally reaches its file as it changes, not only at the end.
#include "messageboxes.h"
#include "tallyfile.h"
#include "tallylistform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

class TallySaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = tallyfile::pathFor(dir.path().toStdString(), "pegsquare");
        setErrorBoxHandler([this](const QString &m) { errors << m; });
        setConfirmationHandler([](const QString &, const QString &) { return true; });
    }
    void TearDown() override
    {
        setErrorBoxHandler({});
        setConfirmationHandler({});
    }
    std::string onDisk() const
    {
        TallyGrid back;
        tallyfile::load(file, back);
        return back.toText();
    }

    QTemporaryDir dir;
    std::filesystem::path file;
    QStringList errors;
};

// Written off the GUI thread, but never out of order nor skipping a state:
// a change is made only once the one before it is on disk.
TEST_F(TallySaveTest, EveryChangeIsOnDiskBeforeTheNextIsMade)
{
    Ttallylist tally(file);
    struct Row {
        const char *name;
        std::function<void()> change;
    };
    const Row rows[] = {
        {"round started", [&] { tally.addtomineincrease(1); }},
        {"round cleared", [&] { tally.addtomineincrease(2); }},
        {"next round started", [&] { tally.addtomineincrease(1); }},
        {"game entered", [&] { tally.checkscore(123, QStringLiteral("Ann")); }},
        {"game renamed", [&] { tally.renameNewest(QStringLiteral("Bea")); }},
        {"reset confirmed", [&] { tally.button_resetClick(); }},
    };
    bool first = true;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string before = tally.grid().toText();
        row.change();
        const std::string after = tally.grid().toText();
        ASSERT_NE(after, before);
        if (!first) {
            const std::string disk = onDisk();
            EXPECT_TRUE(disk == before || disk == after);
        }
        first = false;
    }
    tally.waitForSaves();
    EXPECT_EQ(onDisk(), tally.grid().toText());
    EXPECT_FALSE(tally.hasUnsavedChanges());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(TallySaveTest, AFileThatCannotBeWrittenIsReportedOnceAndOnlyWhenSomethingIsLost)
{
    // A folder that is a regular file: no user, privileged or not, can
    // create anything in it.
    std::ofstream(dir.filePath(QStringLiteral("blocked")).toStdString()) << "x";
    file = tallyfile::pathFor(dir.filePath(QStringLiteral("blocked")).toStdString(), "pegsquare");
    struct Row {
        const char *name;
        int changes;
        int reported;
    };
    const Row rows[] = {
        {"nothing changed, program ends", 0, 0},
        {"one round", 1, 1},
        {"several rounds and games", 4, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        errors.clear();
        {
            Ttallylist tally(file);
            for (int i = 0; i < row.changes; ++i) {
                if (i % 2 == 0)
                    tally.addtomineincrease(1);
                else
                    tally.checkscore(60 + i, QStringLiteral("Bo"));
            }
            EXPECT_EQ(tally.hasUnsavedChanges(), row.changes > 0);
        }
        ASSERT_EQ(errors.size(), row.reported);
        if (row.reported) {
            EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Your tally could not be saved. Unable to write to ")))
                << errors[0].toStdString();
        }
    }
}

} // namespace
