// The sound player: decoding the WAVE files it is given, name matching,
// one sound at a time, and the real SDL output on the dummy driver.
#include "sdlsoundplayer.h"
#include "wavsound.h"

#include <gtest/gtest.h>

#include <ostream>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes &b, unsigned v)
{
    b.push_back(std::uint8_t(v & 0xff));
    b.push_back(std::uint8_t((v >> 8) & 0xff));
}
void put32(Bytes &b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}
void tag(Bytes &b, const char *t)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(t[i]));
}

// A RIFF WAVE file around `data`, optionally with an extra chunk before
// the format chunk.
Bytes makeWav(int rate, int bits, int channels, const Bytes &data, const Bytes &extraChunk = {})
{
    Bytes b;
    tag(b, "RIFF");
    put32(b, 0);
    tag(b, "WAVE");
    b.insert(b.end(), extraChunk.begin(), extraChunk.end());
    tag(b, "fmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, unsigned(channels));
    put32(b, std::uint32_t(rate));
    put32(b, std::uint32_t(rate * channels * bits / 8));
    put16(b, unsigned(channels * bits / 8));
    put16(b, unsigned(bits));
    tag(b, "data");
    put32(b, std::uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2)
        b.push_back(0);
    const std::uint32_t riff = std::uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + std::size_t(i)] = std::uint8_t(riff >> (8 * i));
    return b;
}

Bytes tone8(std::size_t n)
{
    Bytes d(n);
    for (std::size_t i = 0; i < n; ++i)
        d[i] = std::uint8_t(128 + (i % 20 < 10 ? 60 : -60));
    return d;
}

// Records what reaches the output: the sound now playing is the last one
// started, which is how the real device behaves after a cut.
class RecordingOutput : public platform::SoundOutput {
public:
    struct Start {
        std::string name;
        std::size_t samples;
    };
    int sampleRate() const override { return 22050; }
    void replace(const std::string &name, const std::vector<std::int16_t> &samples) override
    {
        starts->push_back({name, samples.size()});
    }
    std::shared_ptr<std::vector<Start>> starts = std::make_shared<std::vector<Start>>();
};

struct Fixture {
    std::shared_ptr<std::vector<RecordingOutput::Start>> starts;
    std::unique_ptr<platform::SdlSoundPlayer> player;
};

Fixture makePlayer()
{
    platform::SdlSoundPlayer::WaveFiles files;
    files["cardclick"] = makeWav(11025, 8, 1, tone8(1584));
    files["RoundOver"] = makeWav(11025, 8, 1, tone8(10527));
    files["gameover"] = makeWav(22050, 16, 1, Bytes(2000, 0x10));
    files["broken"] = Bytes{'R', 'I', 'F', 'F', 1, 2, 3};
    auto output = std::make_unique<RecordingOutput>();
    Fixture f{output->starts, nullptr};
    f.player = std::make_unique<platform::SdlSoundPlayer>(files, std::move(output));
    return f;
}

TEST(SoundPlayer, MatchesNamesWithoutRegardToCase)
{
    Fixture f = makePlayer();
    for (const char *name : {"cardclick", "CARDCLICK", "CardClick", "roundover", "ROUNDOVER"})
        f.player->play(name);
    ASSERT_EQ(f.starts->size(), 5u);
    const char *expected[] = {"cardclick", "cardclick", "cardclick", "roundover", "roundover"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ((*f.starts)[i].name, expected[i]) << i;
}

// Each play starts at once and replaces the previous sound, in call order:
// the 16th card's click is cut by the round-over sound, and repeated
// invalid clicks restart the sound each time.
TEST(SoundPlayer, EachPlayCutsThePreviousInOrder)
{
    Fixture f = makePlayer();
    const std::vector<std::string> calls = {"cardclick", "roundover", "gameover", "cardclick", "cardclick"};
    for (const std::string &c : calls)
        f.player->play(c);
    ASSERT_EQ(f.starts->size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ((*f.starts)[i].name, calls[i]);
}

TEST(SoundPlayer, UnknownOrUndecodableNamesPlayNothing)
{
    Fixture f = makePlayer();
    for (const char *name : {"", "beep", "broken", "card click", "cardclick.wav"}) {
        f.player->play(name);
        EXPECT_FALSE(f.player->hasSound(name)) << name;
    }
    EXPECT_TRUE(f.starts->empty());
    EXPECT_TRUE(f.player->hasSound("GameOver"));
}

// Sounds reach the output converted to its rate: an 11025 Hz file gives
// twice as many samples at 22050 Hz; a 16-bit file at the output's rate
// keeps its length.
TEST(SoundPlayer, ConvertsToTheOutputRate)
{
    Fixture f = makePlayer();
    f.player->play("cardclick");
    f.player->play("roundover");
    f.player->play("gameover");
    ASSERT_EQ(f.starts->size(), 3u);
    EXPECT_EQ((*f.starts)[0].samples, 3168u);
    EXPECT_EQ((*f.starts)[1].samples, 21054u);
    EXPECT_EQ((*f.starts)[2].samples, 1000u);
}

struct WavCase {
    const char *name;
    Bytes file;
    bool ok;
    std::size_t samples;
};

// Test listings show the row's name rather than its bytes.
void PrintTo(const WavCase &row, std::ostream *out)
{
    *out << row.name;
}

class WavDecoding : public ::testing::TestWithParam<WavCase> {};

TEST_P(WavDecoding, AcceptsValidFilesAndRejectsDamage)
{
    const WavCase &c = GetParam();
    std::string error;
    const auto sound = platform::decodeWav(c.file.data(), c.file.size(), &error);
    ASSERT_EQ(sound.has_value(), c.ok) << error;
    if (c.ok)
        EXPECT_EQ(sound->samples.size(), c.samples);
    else
        EXPECT_FALSE(error.empty());
}

Bytes withField(Bytes b, std::size_t at, unsigned value)
{
    b[at] = std::uint8_t(value & 0xff);
    b[at + 1] = std::uint8_t(value >> 8);
    return b;
}

Bytes prefix(Bytes b, std::size_t n)
{
    b.resize(n);
    return b;
}

Bytes oddChunk()
{
    Bytes c;
    tag(c, "LIST");
    put32(c, 3);
    c.insert(c.end(), {'a', 'b', 'c', 0});  // three bytes and the pad byte
    return c;
}

// Offsets in a file built by makeWav without an extra chunk.
constexpr std::size_t kFormatField = 20, kChannelsField = 22, kBitsField = 34, kDataSize = 40;

INSTANTIATE_TEST_SUITE_P(
    All, WavDecoding,
    ::testing::Values(
        WavCase{"mono8", makeWav(11025, 8, 1, tone8(7)), true, 7},
        WavCase{"stereo16", makeWav(22050, 16, 2, Bytes(40, 1)), true, 10},
        WavCase{"odd_chunk_before_format", makeWav(8000, 8, 1, tone8(5), oddChunk()), true, 5},
        WavCase{"empty", Bytes{}, false, 0},
        WavCase{"not_riff", Bytes(64, 'x'), false, 0},
        WavCase{"cut_short", prefix(makeWav(11025, 8, 1, tone8(100)), 60), false, 0},
        WavCase{"data_size_past_end", withField(makeWav(11025, 8, 1, tone8(10)), kDataSize, 5000), false, 0},
        WavCase{"float_format", withField(makeWav(11025, 8, 1, tone8(10)), kFormatField, 3), false, 0},
        WavCase{"no_channels", withField(makeWav(11025, 8, 1, tone8(10)), kChannelsField, 0), false, 0},
        WavCase{"twelve_bits", withField(makeWav(11025, 8, 1, tone8(10)), kBitsField, 12), false, 0}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(WavDecoding, ConvertsSampleValues)
{
    const auto s8 = platform::decodeWav(makeWav(8000, 8, 1, Bytes{0, 128, 255}).data(),
                                        makeWav(8000, 8, 1, Bytes{0, 128, 255}).size());
    ASSERT_TRUE(s8);
    EXPECT_EQ(s8->samples, (std::vector<std::int16_t>{-32768, 0, 32512}));
    const Bytes stereo = makeWav(8000, 16, 2, Bytes{0x00, 0x10, 0x00, 0x30});  // 4096 and 12288
    const auto s16 = platform::decodeWav(stereo.data(), stereo.size());
    ASSERT_TRUE(s16);
    EXPECT_EQ(s16->samples, (std::vector<std::int16_t>{8192}));
}

// Once through SDL itself on its dummy driver: the device opens, a new
// sound replaces what was queued, unknown names leave it alone.
TEST(SdlAudioOutput, PlaysAndCutsOnTheDummyDriver)
{
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    platform::SdlSoundPlayer::WaveFiles files;
    files["long"] = makeWav(22050, 16, 1, Bytes(200000, 0x20));
    files["short"] = makeWav(11025, 8, 1, tone8(1000));
    auto output = std::make_unique<platform::SdlAudioOutput>();
    platform::SdlAudioOutput *device = output.get();
    ASSERT_TRUE(device->isOpen());
    platform::SdlSoundPlayer player(files, std::move(output));

    player.play("LONG");
    const std::size_t afterLong = device->queuedBytes();
    EXPECT_GT(afterLong, 2000u * 2);
    EXPECT_LE(afterLong, 200000u);
    player.play("short");
    EXPECT_LE(device->queuedBytes(), 2000u * 2);
    player.play("nothing");
    EXPECT_LE(device->queuedBytes(), 2000u * 2);
}

TEST(SdlAudioOutput, StaysSilentWithoutAnAudioDevice)
{
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        platform::SdlSoundPlayer player({{"short", makeWav(11025, 8, 1, tone8(100))}});
        player.play("short");
        auto &device = static_cast<platform::SdlAudioOutput &>(player.output());
        EXPECT_FALSE(device.isOpen());
        EXPECT_EQ(device.queuedBytes(), 0u);
    }
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(SdlAudioOutput, LeavesTerminationSignalsToTheProgram)
{
    // A child process opens the audio output and is then asked to end, as
    // a desktop session does at log-out: it must end by that signal.
    for (int signal : {SIGTERM, SIGINT}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            platform::SdlAudioOutput output;
            ::raise(signal);
            // Still here: the signal was swallowed.
            ::_exit(7);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << "signal " << signal << ", exit " << WEXITSTATUS(status);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), signal);
        }
    }
}

} // namespace
