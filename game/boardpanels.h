#pragma once

#include "mainform.h"

// The panels that lie over the board and take its clicks, topmost first in
// the order Enter and Escape look for one. Each names the button Enter and
// Escape press in it (null: the key does nothing there); a key presses its
// button only while the button is shown, as the update offer hides Cancel
// once the update runs. A new round hides every panel of the round before;
// the update offer stays until it is answered.
struct BoardPanel {
    const char *name;
    const char *enterButton;
    void (Tmain::*enter)();
    const char *escapeButton;
    void (Tmain::*escape)();
    bool hiddenByNewRound;
};

inline constexpr BoardPanel kBoardPanels[] = {
    {"panel_name", "button_namedone", &Tmain::button_namedoneClick, "button_namecancel", &Tmain::button_namecancelClick,
     true},
    {"panel_linescore", nullptr, nullptr, "Image1", &Tmain::Image1Click, true},
    {"panel_update", nullptr, nullptr, "button_updatecancel", &Tmain::button_updatecancelClick, false},
    {"panel_over", nullptr, nullptr, "button_cancel", &Tmain::button_cancelClick, true},
    {"panel_continue", nullptr, nullptr, nullptr, nullptr, true},
    {"panel_wait", nullptr, nullptr, nullptr, nullptr, true},
};
