#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A decoded picture: 8-bit RGB, rows top to bottom, three bytes per pixel,
// no padding between rows (pixels.size() == width * height * 3).
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

struct JpegResult {
    RgbImage image;     // empty unless decoding succeeded
    std::string error;  // empty on success, otherwise what went wrong
    bool ok() const { return error.empty(); }
};

// Pictures larger than this many pixels are refused rather than allocated.
inline constexpr std::uint64_t kMaxJpegPixels = 64ull * 1024 * 1024;

// Decodes the complete JPEG file in data[0 … size) through libjpeg into
// RGB (greyscale pictures are widened to RGB). Never reads outside the
// given bytes, never throws, never ends the process and never writes to
// the console: damaged, truncated, unsupported or oversized data gives an
// empty image and an error text.
JpegResult decodeJpeg(const std::uint8_t *data, std::size_t size);

} // namespace platform
