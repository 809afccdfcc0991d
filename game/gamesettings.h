#pragma once

#include <string>

// What the game keeps in its settings file, in the program's own section:
// the window's outer bounds, the player's name and the two switches.
struct GameSettings {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string name = "Guest";
    bool sounds = true;
    bool updateCheck = true;
};

// The settings in the file at `path`, read at once, so every key comes from
// the same text; a key that is missing or not a number keeps its value in
// `defaults`. Never throws: an unreadable file gives the defaults.
GameSettings readGameSettings(const std::string &path, const std::string &section, const GameSettings &defaults);

// Writes every key in one replacement of the file, so it is either wholly
// old or holds all of them; other sections and keys are kept. Throws
// platform::IniWriteError, also for a file too large to read, which it
// never replaces.
void writeGameSettings(const std::string &path, const std::string &section, const GameSettings &settings);
