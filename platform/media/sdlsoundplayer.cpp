#include "sdlsoundplayer.h"

#include "wavsound.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

// Small device buffers keep the cut from one sound to the next short:
// 512 frames at 22050 Hz is about 23 ms.
constexpr Uint16 kDeviceFrames = 512;

// libasound reports every device it fails to open on standard error; on
// a machine without a sound card that is a screenful at each start for
// sounds that are simply not played. SDL reports failures through its own
// return values, which are what count here.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

std::string lowerCase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

SdlAudioOutput::SdlAudioOutput()
{
    snd_lib_error_set_handler(quietAlsa);
    // SDL's audio brings up its event system, which by default turns
    // SIGINT and SIGTERM into quit events that nobody here reads: the
    // program would then ignore being asked to end.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
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
