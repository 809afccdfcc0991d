#pragma once

#include "secondarywindow.h"

// The tally list window: rounds played and cleared, the clear percentage
// and the ten best games.
class Ttallylist : public SecondaryWindow {
    Q_OBJECT
public:
    Ttallylist();
};
