#pragma once

#include "secondarywindow.h"

// The window that advertises the multiplayer game.
class Tmultiplayer : public SecondaryWindow {
    Q_OBJECT
public:
    Tmultiplayer();
};
