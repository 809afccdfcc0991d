#pragma once

#include "secondarywindow.h"

// The online high-score list window.
class Thighscore : public SecondaryWindow {
    Q_OBJECT
public:
    Thighscore();
};
