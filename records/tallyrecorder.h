#pragma once

#include <QString>

// What the game reports to the player's tally: round starts, cleared
// rounds and finished games. The game relies on nothing these return.
class TallyRecorder {
public:
    virtual ~TallyRecorder() = default;

    // Adds one to statistic `column` (1 = rounds played, 2 = rounds cleared).
    virtual void addtomineincrease(int column) = 0;

    // Enters a finished game into the ten best; true when it was entered.
    virtual bool checkscore(int score, const QString &name) = 0;
    // The player gave the game just entered another name (by posting it
    // under that name): the entry takes it. Does nothing when the last
    // finished game was not entered, or the tally was reset since.
    virtual void renameNewest(const QString &name) = 0;
};
