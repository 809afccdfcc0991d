#pragma once

#include <string>

namespace platform {

// Plays the game's short sounds. The game says what happened by naming a
// sound ("cardclick", "roundover", …); the player decides how to play it.
// Contract for every implementation: play() returns at once, never throws,
// and a new sound cuts off the one still playing. Names are matched without
// regard to case. A sound that cannot be played is silently skipped.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string &name) = 0;
};

// A player that plays nothing: used where no audio output exists.
class SilentSoundPlayer final : public SoundPlayer {
public:
    void play(const std::string &) override {}
};

} // namespace platform
