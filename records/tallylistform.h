#pragma once

#include "secondarywindow.h"
#include "tallygrid.h"
#include "tallyrecorder.h"

#include <filesystem>

class TagLabel;

// The tally list window: rounds played and cleared, the clear percentage
// and the ten best games. Its grid is the only store of the tally; it is
// read from the tally file when the window is created, written at once
// after every change (see saveTally), and written once more when the
// window is destroyed at the end of the program.
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

    // Writes the tally file now, all or nothing. Every change of the tally
    // (a round started or cleared, a game entered, a reset) is saved at
    // once, so a crash or a power cut loses at most the round being played.
    // A failure is shown once per run, and only while there is something
    // the file lacks; the previous file stays as it was. True on success.
    bool saveTally(Report report = Report::Shown);
    // True while the tally holds changes the file does not.
    bool hasUnsavedChanges() const { return m_unsaved; }

private:
    void buildLayout();
    void updatePercentage();
    TagLabel *rankLabel(const char *prefix, int rank) const;
    void styleRank(int rank, const QColor &color, bool bold);

    void changed();

    std::filesystem::path m_tallyFile;
    TallyGrid m_grid;
    bool m_unsaved = false;
    // The rank the last finished game was entered at; 0 when none.
    int m_newestRank = 0;
    bool m_saveFailureShown = false;
};
