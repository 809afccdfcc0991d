#pragma once

#include "secondarywindow.h"
#include "tallygrid.h"
#include "tallyrecorder.h"

#include <filesystem>
#include <memory>

class TagLabel;
class TallyWriter;

// The tally list window: rounds played and cleared, the clear percentage
// and the ten best games. Its grid is the only store of the tally; it is
// read from the tally file when the window is created, written after every
// change (on a worker thread, see TallyWriter; a change waits until the
// previous one is on disk before it is made), and written once more when
// the window is destroyed at the end of the program.
class Ttallylist : public SecondaryWindow, public TallyRecorder {
    Q_OBJECT
public:
    // `tallyFile` is where the tally lives: pegsquaretally.tld in the
    // player's files folder (see platform::playerFilesFolder).
    explicit Ttallylist(std::filesystem::path tallyFile);
    ~Ttallylist() override;

    const TallyGrid &grid() const { return m_grid; }
    const std::filesystem::path &tallyFile() const { return m_tallyFile; }

    // Adds 1 to the integer in cell (column, row) (a cell without one
    // counts as 0), writes it back and returns it. The largest int stays
    // as it is instead of wrapping.
    int addit(int column, int row);
    void addtomineincrease(int column) override;
    void addtomineset(int column, const QString &text);
    bool checkscore(int score, const QString &name) override;
    void renameNewest(const QString &name) override;
    void loadtally();

    void button_resetClick();
    void button_doneClick();

    // Loading and saving: run by the constructor and the destructor.
    void FormCreate();
    void FormDestroy();

    // Whether a failed save is shown to the player.
    enum class Report { Shown, Quietly };

    // Writes the tally file now, all or nothing, and returns once it is
    // written (after any write still under way). Every change of the tally
    // (a round started or cleared, a game entered, a reset) is also saved
    // as it is made, off the GUI thread, so a crash or a power cut loses at
    // most the round being played. A failure is shown once per run, and
    // only while there is something the file lacks; the previous file
    // stays as it was. True on success.
    bool saveTally(Report report = Report::Shown);
    // Returns once every change made so far has been written (or failed to
    // be, which is then shown as saveTally shows it).
    void waitForSaves();
    // True while the tally holds changes the file does not (also while the
    // write of the newest change is still under way).
    bool hasUnsavedChanges() const;
    // Writes `grid` (a copy of grid() taken earlier) on the calling thread,
    // once a write under way has finished. Touches no widget and shows
    // nothing: for a program ending where its windows can no longer be
    // used. Never throws; true on success.
    bool saveCopyNow(const TallyGrid &grid);

private:
    void buildLayout();
    void updatePercentage();
    TagLabel *rankLabel(const char *prefix, int rank) const;
    void styleRank(int rank, const QColor &color, bool bold);

    // Called before a change is made, and after it.
    void beforeChange();
    void changed();
    // Shows the failure of the newest finished write, as saveTally would.
    void reportWrite(Report report);

    std::filesystem::path m_tallyFile;
    TallyGrid m_grid;
    std::unique_ptr<TallyWriter> m_writer;
    // The write holding the newest change; 0 while there is none.
    std::uint64_t m_newestChange = 0;
    // The newest write known to have reached the file.
    std::uint64_t m_newestWritten = 0;
    // The rank the last finished game was entered at; 0 when none.
    int m_newestRank = 0;
    bool m_saveFailureShown = false;
};
