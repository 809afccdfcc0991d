#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A sound ready for output: signed 16-bit mono samples at `sampleRate`.
struct PcmSound {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;
};

// Reads a complete RIFF WAVE file in data[0 … size) holding uncompressed
// PCM, 8 or 16 bits, one or two channels (two are mixed down to one).
// Chunks may come in any order; a chunk of odd size is followed by a pad
// byte. Never reads outside the given bytes; anything malformed gives
// nullopt and, when `error` is given, a reason.
std::optional<PcmSound> decodeWav(const std::uint8_t *data, std::size_t size, std::string *error = nullptr);

// `sound` converted to `rate` by linear interpolation; the length scales
// with the rate (rounded to the nearest sample).
PcmSound resample(const PcmSound &sound, int rate);

} // namespace platform
