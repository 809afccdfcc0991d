#include "wavsound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {
namespace {

// RIFF layout: "RIFF" <u32 size> "WAVE", then chunks of
// <4-byte id> <u32 size> <size bytes> [pad byte when size is odd].
// The "fmt " chunk holds u16 format (1 = PCM), u16 channels, u32 sample
// rate, u32 byte rate, u16 block align, u16 bits per sample.
constexpr std::size_t kRiffHeader = 12;
constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kFmtSize = 16;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint32_t kMaxRate = 384000;

std::uint16_t u16(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t *p) { return u16(p) | (std::uint32_t(u16(p + 2)) << 16); }
constexpr std::size_t kTagSize = 4;
bool tag(const std::uint8_t *p, const char *t) { return std::memcmp(p, t, kTagSize) == 0; }

std::optional<PcmSound> fail(std::string *error, const char *why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<PcmSound> decodeWav(const std::uint8_t *data, std::size_t size, std::string *error)
{
    if (!data || size < kRiffHeader || !tag(data, "RIFF") || !tag(data + 8, "WAVE"))
        return fail(error, "not a RIFF WAVE file");
    const std::uint8_t *fmt = nullptr;
    const std::uint8_t *samples = nullptr;
    std::size_t sampleBytes = 0;
    std::size_t at = kRiffHeader;
    while (size - at >= kChunkHeader) {
        const std::uint8_t *chunk = data + at;
        const std::size_t length = u32(chunk + 4);
        if (length > size - at - kChunkHeader)
            return fail(error, "chunk runs past the end of the file");
        if (tag(chunk, "fmt ")) {
            if (length < kFmtSize)
                return fail(error, "format chunk too short");
            fmt = chunk + kChunkHeader;
        } else if (tag(chunk, "data")) {
            samples = chunk + kChunkHeader;
            sampleBytes = length;
        }
        at += kChunkHeader + length;
        if (length % 2 != 0 && at < size)
            ++at;
    }
    if (!fmt || !samples)
        return fail(error, "format or data chunk missing");

    const std::uint16_t format = u16(fmt);
    const std::uint16_t channels = u16(fmt + 2);
    const std::uint32_t rate = u32(fmt + 4);
    const std::uint16_t bits = u16(fmt + 14);
    if (format != kFormatPcm)
        return fail(error, "not uncompressed PCM");
    if (channels != 1 && channels != 2)
        return fail(error, "unsupported channel count");
    if (bits != 8 && bits != 16)
        return fail(error, "unsupported sample size");
    if (rate == 0 || rate > kMaxRate)
        return fail(error, "unsupported sample rate");

    const std::size_t frameBytes = std::size_t(channels) * (bits / 8);
    const std::size_t frames = sampleBytes / frameBytes;
    PcmSound sound;
    sound.sampleRate = static_cast<int>(rate);
    sound.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        int sum = 0;
        for (std::size_t c = 0; c < channels; ++c) {
            const std::uint8_t *p = samples + i * frameBytes + c * (bits / 8);
            sum += bits == 8 ? (int(p[0]) - 128) * 256 : int(static_cast<std::int16_t>(u16(p)));
        }
        sound.samples[i] = static_cast<std::int16_t>(sum / int(channels));
    }
    return sound;
}

PcmSound resample(const PcmSound &sound, int rate)
{
    PcmSound out;
    out.sampleRate = rate;
    if (sound.sampleRate <= 0 || rate <= 0 || sound.samples.empty())
        return out;
    if (sound.sampleRate == rate) {
        out.samples = sound.samples;
        return out;
    }
    const double step = double(sound.sampleRate) / rate;
    const auto count = static_cast<std::size_t>(std::llround(double(sound.samples.size()) / step));
    out.samples.resize(count);
    const std::size_t last = sound.samples.size() - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const double pos = double(i) * step;
        const auto k = std::min(static_cast<std::size_t>(pos), last);
        const double frac = pos - double(k);
        const double a = sound.samples[k];
        const double b = sound.samples[std::min(k + 1, last)];
        out.samples[i] = static_cast<std::int16_t>(std::lround(a + (b - a) * frac));
    }
    return out;
}

} // namespace platform
