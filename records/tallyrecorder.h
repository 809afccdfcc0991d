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
};
