#include "sdlsoundplayer.h"

#include "wavsound.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

// Small device buffers keep the cut from one sound to the next short:
// 512 frames at 22050 Hz is about 23 ms.
constexpr Uint16 kDeviceFrames = 512;

std::string lowerCase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

SdlAudioOutput::SdlAudioOutput()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return;
    m_audioStarted = true;
    SDL_AudioSpec want{};
    want.freq = kSampleRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = kDeviceFrames;
    // No allowed changes: SDL converts to whatever the hardware uses, so the
    // queue always takes our format.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (m_device != 0)
        SDL_PauseAudioDevice(m_device, 0);
}

SdlAudioOutput::~SdlAudioOutput()
{
    if (m_device != 0)
        SDL_CloseAudioDevice(m_device);
    if (m_audioStarted)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudioOutput::replace(const std::string &, const std::vector<std::int16_t> &samples)
{
    if (m_device == 0)
        return;
    // Both calls only take the device lock briefly; the audio thread does
    // the playing, so the caller never waits for a sound.
    SDL_ClearQueuedAudio(m_device);
    if (!samples.empty())
        SDL_QueueAudio(m_device, samples.data(), static_cast<Uint32>(samples.size() * sizeof(std::int16_t)));
}

std::size_t SdlAudioOutput::queuedBytes() const
{
    return m_device != 0 ? SDL_GetQueuedAudioSize(m_device) : 0;
}

SdlSoundPlayer::SdlSoundPlayer(const WaveFiles &files)
    : SdlSoundPlayer(files, std::make_unique<SdlAudioOutput>())
{
}

SdlSoundPlayer::SdlSoundPlayer(const WaveFiles &files, std::unique_ptr<SoundOutput> output)
    : m_output(std::move(output))
{
    for (const auto &[name, bytes] : files) {
        const std::optional<PcmSound> sound = decodeWav(bytes.data(), bytes.size());
        if (sound)
            m_sounds[lowerCase(name)] = resample(*sound, m_output->sampleRate()).samples;
    }
}

void SdlSoundPlayer::play(const std::string &name)
{
    const auto it = m_sounds.find(lowerCase(name));
    if (it != m_sounds.end())
        m_output->replace(it->first, it->second);
}

bool SdlSoundPlayer::hasSound(const std::string &name) const
{
    return m_sounds.count(lowerCase(name)) != 0;
}

} // namespace platform
