// The JPEG decoder on good and damaged data: damage gives an error text
// and an empty picture, never a crash (the sanitizer build keeps that
// honest).
#include "gameresources.h"
#include "jpegdecoder.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>

namespace {

platform::JpegResult decode(const QByteArray &b)
{
    return platform::decodeJpeg(reinterpret_cast<const std::uint8_t *>(b.constData()), std::size_t(b.size()));
}

// Offset of the start-of-frame segment's height field.
int frameHeightOffset(const QByteArray &jpeg)
{
    for (int i = 2; i + 4 < jpeg.size();) {
        const int marker = uchar(jpeg[i + 1]);
        if (marker == 0xc0)
            return i + 5;
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return -1;
}

TEST(JpegDecoder, DecodesTheAdvertToRgb)
{
    const platform::JpegResult r = decode(gameresources::advertJpeg());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.width, 389);
    EXPECT_EQ(r.image.height, 269);
    EXPECT_EQ(r.image.pixels.size(), std::size_t(389 * 269 * 3));
}

struct Damage {
    const char *name;
    std::function<QByteArray(QByteArray)> apply;
};

// Test listings show the row's name rather than its bytes.
void PrintTo(const Damage &row, std::ostream *out)
{
    *out << row.name;
}

class DamagedJpeg : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedJpeg, GivesAnErrorNotAPicture)
{
    const QByteArray damaged = GetParam().apply(gameresources::advertJpeg());
    const platform::JpegResult r = decode(damaged);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.image.width, 0);
    EXPECT_TRUE(r.image.pixels.empty());
}

QByteArray setFrameSize(QByteArray b, int height, int width)
{
    const int at = frameHeightOffset(b);
    b[at] = char(height >> 8);
    b[at + 1] = char(height & 0xff);
    b[at + 2] = char(width >> 8);
    b[at + 3] = char(width & 0xff);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    All, DamagedJpeg,
    ::testing::Values(
        Damage{"empty", [](QByteArray) { return QByteArray(); }},
        Damage{"not_a_jpeg", [](QByteArray) { return QByteArray("GIF89a this is not a JPEG at all"); }},
        Damage{"only_start_marker", [](QByteArray b) { return b.left(2); }},
        Damage{"cut_in_headers", [](QByteArray b) { return b.left(120); }},
        Damage{"cut_in_half", [](QByteArray b) { return b.left(b.size() / 2); }},
        Damage{"cut_before_end_marker", [](QByteArray b) { return b.left(b.size() - 40); }},
        Damage{"zero_width", [](QByteArray b) { return setFrameSize(b, 269, 0); }},
        Damage{"too_large", [](QByteArray b) { return setFrameSize(b, 65000, 65000); }},
        Damage{"markers_in_scan",
               [](QByteArray b) {
                   for (int i = b.size() / 2; i < b.size() / 2 + 64; i += 2) {
                       b[i] = char(0xff);
                       b[i + 1] = char(0xd9);
                   }
                   return b;
               }},
        Damage{"tables_wiped",
               [](QByteArray b) {
                   for (int i = 20; i < 600 && i < b.size(); ++i)
                       b[i] = char(0xff);
                   return b;
               }}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(JpegDecoder, NullPointerIsAnError)
{
    const platform::JpegResult r = platform::decodeJpeg(nullptr, 100);
    EXPECT_FALSE(r.ok());
}

} // namespace
