#pragma once

#include "secondarywindow.h"

// The about window.
class Tabout : public SecondaryWindow {
    Q_OBJECT
public:
    Tabout();
};
