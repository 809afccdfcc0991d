#pragma once

#include "soundplayer.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Where a player's sounds go: the SDL audio device, or a recorder in
// tests. One sound at a time.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // The sample rate the output plays; sounds are converted to it once.
    virtual int sampleRate() const = 0;
    // Drops whatever is playing or waiting and starts `samples` (signed
    // 16-bit mono at sampleRate()). Returns at once, never throws.
    virtual void replace(const std::string &name, const std::vector<std::int16_t> &samples) = 0;
};

// The default audio device through SDL2. When SDL has no audio device (or
// no audio at all) the output stays closed and replace() does nothing.
class SdlAudioOutput final : public SoundOutput {
public:
    static constexpr int kSampleRate = 22050;

    SdlAudioOutput();
    ~SdlAudioOutput() override;
    SdlAudioOutput(const SdlAudioOutput &) = delete;
    SdlAudioOutput &operator=(const SdlAudioOutput &) = delete;

    bool isOpen() const { return m_device != 0; }
    int sampleRate() const override { return kSampleRate; }
    void replace(const std::string &name, const std::vector<std::int16_t> &samples) override;

    // Bytes queued on the device and not yet played (0 when closed).
    std::size_t queuedBytes() const;

private:
    bool m_audioStarted = false;
    std::uint32_t m_device = 0;
};

// The game's sound player: the WAVE files it is given, decoded once and
// played asynchronously, one at a time, a new sound cutting off the one
// playing. Names are matched without regard to case; an unknown name, or a
// file that would not decode, plays nothing and leaves the current sound
// alone.
class SdlSoundPlayer final : public SoundPlayer {
public:
    // Sound name → complete RIFF WAVE file.
    using WaveFiles = std::map<std::string, std::vector<std::uint8_t>>;

    // Plays through the default SDL audio device.
    explicit SdlSoundPlayer(const WaveFiles &files);
    // Plays through `output` (tests give a recorder).
    SdlSoundPlayer(const WaveFiles &files, std::unique_ptr<SoundOutput> output);

    void play(const std::string &name) override;

    // Whether `name` (any case) names a sound that can be played.
    bool hasSound(const std::string &name) const;
    SoundOutput &output() { return *m_output; }

private:
    std::unique_ptr<SoundOutput> m_output;
    std::map<std::string, std::vector<std::int16_t>> m_sounds;  // lower-case name → samples
};

} // namespace platform
