// The seven embedded WAVE files: exact formats and sizes, RIFF framing,
// lookup by name, and that each is a real, click-free sound.
#include "gameresources.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>

namespace {

std::uint32_t u32(const QByteArray &b, int at)
{
    return uchar(b[at]) | (uchar(b[at + 1]) << 8) | (uchar(b[at + 2]) << 16) | (std::uint32_t(uchar(b[at + 3])) << 24);
}
int u16(const QByteArray &b, int at) { return uchar(b[at]) | (uchar(b[at + 1]) << 8); }

struct WaveCase {
    const char *name;
    int rate;
    int bits;
    int dataBytes;
};

// Test listings show the row's name rather than its bytes.
void PrintTo(const WaveCase &row, std::ostream *out)
{
    *out << row.name;
}

class Waves : public ::testing::TestWithParam<WaveCase> {};

TEST_P(Waves, HaveExactFormatAndRiffFraming)
{
    const WaveCase &c = GetParam();
    const QByteArray w = gameresources::sound(QString::fromLatin1(c.name));
    const int pad = c.dataBytes % 2;
    ASSERT_EQ(w.size(), 44 + c.dataBytes + pad);
    EXPECT_EQ(w.left(4), "RIFF");
    EXPECT_EQ(u32(w, 4), std::uint32_t(w.size() - 8));  // counts the pad byte
    EXPECT_EQ(w.mid(8, 4), "WAVE");
    EXPECT_EQ(w.mid(12, 4), "fmt ");
    EXPECT_EQ(u32(w, 16), 16u);
    EXPECT_EQ(u16(w, 20), 1);  // PCM
    EXPECT_EQ(u16(w, 22), 1);  // mono
    EXPECT_EQ(u32(w, 24), std::uint32_t(c.rate));
    EXPECT_EQ(u32(w, 28), std::uint32_t(c.rate * c.bits / 8));
    EXPECT_EQ(u16(w, 32), c.bits / 8);
    EXPECT_EQ(u16(w, 34), c.bits);
    EXPECT_EQ(w.mid(36, 4), "data");
    EXPECT_EQ(u32(w, 40), std::uint32_t(c.dataBytes));  // does not count it
    if (pad) {
        EXPECT_EQ(w[44 + c.dataBytes], '\0');
    }
}

// Audible, not clipped, and starting and ending at silence.
TEST_P(Waves, AreAudibleAndClickFree)
{
    const WaveCase &c = GetParam();
    const QByteArray w = gameresources::sound(QString::fromLatin1(c.name));
    ASSERT_GE(w.size(), 44 + c.dataBytes);
    const int count = c.dataBytes / (c.bits / 8);
    auto sample = [&](int i) {
        return c.bits == 8 ? (uchar(w[44 + i]) - 128) / 128.0 : std::int16_t(u16(w, 44 + 2 * i)) / 32768.0;
    };
    double peak = 0, energy = 0;
    for (int i = 0; i < count; ++i) {
        peak = std::max(peak, std::abs(sample(i)));
        energy += sample(i) * sample(i);
    }
    EXPECT_GT(peak, 0.3) << c.name;
    EXPECT_LT(peak, 0.95) << c.name;
    EXPECT_GT(std::sqrt(energy / count), 0.02) << c.name;
    EXPECT_LT(std::abs(sample(0)), 0.02) << c.name;
    EXPECT_LT(std::abs(sample(count - 1)), 0.02) << c.name;
}

INSTANTIATE_TEST_SUITE_P(All, Waves,
                         ::testing::Values(WaveCase{"entered", 22050, 8, 17507}, WaveCase{"startgame", 11025, 8, 3312},
                                           WaveCase{"cardclick", 11025, 8, 1584}, WaveCase{"invalid", 11025, 8, 2768},
                                           WaveCase{"roundover", 11025, 8, 10527},
                                           WaveCase{"continue", 22050, 8, 23424},
                                           WaveCase{"gameover", 22050, 16, 123224}),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(Sounds, NamesMatchWithoutRegardToCase)
{
    const QByteArray lower = gameresources::sound(QStringLiteral("roundover"));
    ASSERT_FALSE(lower.isEmpty());
    EXPECT_EQ(gameresources::sound(QStringLiteral("ROUNDOVER")), lower);
    EXPECT_EQ(gameresources::sound(QStringLiteral("RoundOver")), lower);
    for (const char *unknown : {"", "round over", "roundover.wav", "../sounds/roundover", "beep"})
        EXPECT_TRUE(gameresources::sound(QString::fromLatin1(unknown)).isEmpty()) << unknown;
}

TEST(Sounds, TheSevenAreDistinctAndHandedToThePlayerWhole)
{
    const auto files = gameresources::soundFiles();
    ASSERT_EQ(files.size(), 7u);
    EXPECT_EQ(gameresources::soundNames().size(), 7);
    for (const QString &name : gameresources::soundNames()) {
        const auto it = files.find(name.toStdString());
        ASSERT_NE(it, files.end()) << name.toStdString();
        const QByteArray bytes = gameresources::sound(name);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(it->second.data()), qsizetype(it->second.size())), bytes);
        for (const QString &other : gameresources::soundNames())
            if (other != name) {
                EXPECT_NE(gameresources::sound(other), bytes);
            }
    }
}

} // namespace
