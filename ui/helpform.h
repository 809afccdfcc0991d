#pragma once

#include "secondarywindow.h"

// The help window.
class Thelp : public SecondaryWindow {
    Q_OBJECT
public:
    Thelp();
};
