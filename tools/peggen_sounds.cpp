// The seven game sounds, synthesized from sine partials, band-limited
// waves and filtered noise, and written as RIFF WAVE files.
#include "peggen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace peggen {
namespace {

using Buffer = std::vector<double>;

class Noise {
public:
    double next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) / double(1u << 23) - 1.0;
    }

private:
    std::uint32_t m_state = 0x2545f491u;
};

double note(double semitonesFromA4) { return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0); }

// Adds a struck tone (fast attack, exponential decay) starting at `start`
// seconds: `partials` gives each overtone's frequency ratio, level and
// decay time.
struct Partial {
    double ratio;
    double level;
    double decay;
};

void addStruck(Buffer &out, int rate, double start, double freq, double level, std::initializer_list<Partial> partials,
               double attack = 0.004)
{
    const auto first = static_cast<std::size_t>(start * rate);
    const double nyquist = rate / 2.0;
    for (std::size_t i = first; i < out.size(); ++i) {
        const double t = double(i - first) / rate;
        const double rise = std::min(1.0, t / attack);
        double v = 0;
        for (const Partial &pa : partials) {
            if (freq * pa.ratio >= nyquist * 0.95)
                continue;
            v += pa.level * std::exp(-t / pa.decay) * std::sin(2 * M_PI * freq * pa.ratio * t);
        }
        out[i] += level * rise * v;
    }
}

// A band-limited sawtooth-like wave whose harmonics fall as 1/k^tilt, held
// from `start` for `length` seconds with attack and release ramps, and an
// optional vibrato.
void addSustained(Buffer &out, int rate, double start, double length, double freq, double level, double tilt,
                  double attack, double release, double vibratoDepth = 0, double vibratoRate = 5.5)
{
    const auto first = static_cast<std::size_t>(start * rate);
    const auto count = static_cast<std::size_t>((length + release) * rate);
    double phase = 0;
    for (std::size_t n = 0; n < count && first + n < out.size(); ++n) {
        const double t = double(n) / rate;
        const double vib = vibratoDepth * std::min(1.0, t / 0.25) * std::sin(2 * M_PI * vibratoRate * t);
        const double f = freq * (1 + vib);
        phase += 2 * M_PI * f / rate;
        double env = std::min(1.0, t / attack);
        if (t > length)
            env *= std::max(0.0, 1 - (t - length) / release);
        // Brightness opens up during the attack, as a brass note does.
        const double bright = 0.55 + 0.45 * std::min(1.0, t / (attack * 3));
        double v = 0;
        for (int k = 1; k * f < rate * 0.45; ++k)
            v += std::pow(bright, k - 1) * std::sin(k * phase) / std::pow(k, tilt);
        out[first + n] += level * env * v;
    }
}

// A short burst of noise through a band-pass made of two one-pole filters.
void addNoiseBurst(Buffer &out, int rate, double start, double level, double decay, double lowCut, double highCut,
                   Noise &noise)
{
    const auto first = static_cast<std::size_t>(start * rate);
    const double aLow = std::exp(-2 * M_PI * highCut / rate);  // low-pass coefficient
    const double aHigh = std::exp(-2 * M_PI * lowCut / rate);  // high-pass coefficient
    double lp = 0, hpIn = 0, hpOut = 0;
    for (std::size_t i = first; i < out.size(); ++i) {
        const double t = double(i - first) / rate;
        if (t > decay * 8)
            break;
        const double x = noise.next() * std::exp(-t / decay) * std::min(1.0, t / 0.0008);
        lp = (1 - aLow) * x + aLow * lp;
        hpOut = aHigh * (hpOut + lp - hpIn);
        hpIn = lp;
        out[i] += level * hpOut;
    }
}

void lowPass(Buffer &buf, int rate, double cutoff)
{
    const double a = std::exp(-2 * M_PI * cutoff / rate);
    double y = 0;
    for (double &x : buf)
        x = y = (1 - a) * x + a * y;
}

// Scales to the wanted peak and ramps both ends to silence, so no sound
// starts or stops with a click.
void finish(Buffer &buf, int rate, double peak)
{
    double max = 0;
    for (double x : buf)
        max = std::max(max, std::abs(x));
    if (max > 0)
        for (double &x : buf)
            x *= peak / max;
    const auto in = std::min(buf.size(), static_cast<std::size_t>(0.002 * rate));
    const auto out = std::min(buf.size(), static_cast<std::size_t>(0.012 * rate));
    for (std::size_t i = 0; i < in; ++i)
        buf[i] *= double(i) / in;
    for (std::size_t i = 0; i < out; ++i)
        buf[buf.size() - 1 - i] *= double(i) / out;
}

// A soft two-note chime.
void entered(Buffer &b, int rate)
{
    const std::initializer_list<Partial> bell = {{1, 1, 0.30}, {2.0, 0.30, 0.12}, {3.01, 0.12, 0.07}, {4.2, 0.05, 0.04}};
    addStruck(b, rate, 0.00, note(10), 0.8, bell, 0.006);  // G5
    addStruck(b, rate, 0.15, note(15), 0.9, bell, 0.006);  // C6
    finish(b, rate, 0.55);
}

// Cards riffled together and squared up.
void startGame(Buffer &b, int rate)
{
    Noise noise;
    double t = 0.01;
    for (int k = 0; k < 11; ++k) {
        addNoiseBurst(b, rate, t, 0.7 + 0.3 * noise.next(), 0.005, 900, 3800, noise);
        t += 0.024 - k * 0.0009;
    }
    addNoiseBurst(b, rate, 0.255, 0.9, 0.008, 150, 1200, noise);
    addStruck(b, rate, 0.255, 140, 0.5, {{1, 1, 0.02}});
    finish(b, rate, 0.6);
}

// A card laid on the table: a crisp snap over a small wooden knock.
void cardClick(Buffer &b, int rate)
{
    Noise noise;
    addNoiseBurst(b, rate, 0.004, 1.0, 0.0025, 1200, 4500, noise);
    addStruck(b, rate, 0.004, 820, 0.45, {{1, 1, 0.012}, {2.3, 0.3, 0.006}}, 0.0008);
    addStruck(b, rate, 0.004, 190, 0.5, {{1, 1, 0.022}}, 0.001);
    finish(b, rate, 0.6);
}

// A dull, low buzz.
void invalid(Buffer &b, int rate)
{
    const double f = 98;
    const double length = 0.18;
    for (std::size_t i = 0; i < b.size(); ++i) {
        const double t = double(i) / rate;
        double v = 0;
        for (int k = 1; k * f < 2400; k += 2)
            v += std::sin(2 * M_PI * k * f * t) / k;
        double env = std::min(1.0, t / 0.01);
        if (t > length)
            env *= std::max(0.0, 1 - (t - length) / 0.05);
        b[i] = v * env * (0.85 + 0.15 * std::sin(2 * M_PI * 18 * t));
    }
    lowPass(b, rate, 700);
    finish(b, rate, 0.5);
}

// A rising arpeggio on a marimba-like tone.
void roundOver(Buffer &b, int rate)
{
    const double notes[4] = {note(3), note(7), note(10), note(15)};  // C5 E5 G5 C6
    for (int k = 0; k < 4; ++k) {
        const double decay = k == 3 ? 0.36 : 0.22;
        addStruck(b, rate, 0.02 + k * 0.13, notes[k], 1.0, {{1, 1, decay}, {4, 0.22, 0.04}, {10, 0.05, 0.01}}, 0.003);
    }
    finish(b, rate, 0.6);
}

// A bright brass call: three quick notes up to a held chord.
void continueFanfare(Buffer &b, int rate)
{
    addSustained(b, rate, 0.00, 0.08, note(3), 0.8, 1.0, 0.012, 0.03);   // C5
    addSustained(b, rate, 0.12, 0.08, note(7), 0.8, 1.0, 0.012, 0.03);   // E5
    addSustained(b, rate, 0.24, 0.08, note(10), 0.8, 1.0, 0.012, 0.03);  // G5
    for (double n : {3.0, 7.0, 10.0, 15.0})
        addSustained(b, rate, 0.38, 0.42, note(n), n == 15 ? 0.8 : 0.5, 1.0, 0.015, 0.22, 0.006);
    finish(b, rate, 0.6);
}

// A slow, falling "wah-wah" figure ending on a long wavering note.
void gameOver(Buffer &b, int rate)
{
    const double steps[3] = {note(-2), note(-3), note(-4)};  // G4 F#4 F4
    for (int k = 0; k < 3; ++k)
        addSustained(b, rate, k * 0.46, 0.30, steps[k], 0.8, 1.4, 0.05, 0.1);
    addSustained(b, rate, 1.38, 1.0, note(-5), 0.9, 1.4, 0.05, 0.35, 0.018, 5.0);  // E4
    addSustained(b, rate, 1.38, 1.0, note(-17), 0.35, 1.8, 0.08, 0.35);            // E3 under it
    lowPass(b, rate, 2600);
    finish(b, rate, 0.6);
}

void put16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v & 0xffff));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void putTag(std::vector<std::uint8_t> &out, const char *tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

} // namespace

std::vector<std::uint8_t> synthesizeWave(const WaveFormat &wave)
{
    const int bytesPerSample = wave.bitsPerSample / 8;
    if ((wave.bitsPerSample != 8 && wave.bitsPerSample != 16) || wave.dataBytes % bytesPerSample != 0)
        throw std::invalid_argument(std::string("bad wave format for ") + wave.name);
    Buffer samples(static_cast<std::size_t>(wave.dataBytes / bytesPerSample), 0.0);

    static const std::pair<const char *, void (*)(Buffer &, int)> kVoices[] = {
        {"entered", entered},   {"startgame", startGame}, {"cardclick", cardClick},      {"invalid", invalid},
        {"roundover", roundOver}, {"continue", continueFanfare}, {"gameover", gameOver},
    };
    const auto voice = std::find_if(std::begin(kVoices), std::end(kVoices),
                                    [&](const auto &v) { return std::strcmp(v.first, wave.name) == 0; });
    if (voice == std::end(kVoices))
        throw std::invalid_argument(std::string("no voice for ") + wave.name);
    voice->second(samples, wave.sampleRate);

    // RIFF layout: "RIFF" size "WAVE", a 16-byte "fmt " chunk, then the
    // "data" chunk. A chunk of odd size is followed by one pad byte that
    // the RIFF size counts but the data chunk's size does not.
    const std::uint32_t pad = wave.dataBytes % 2;
    std::vector<std::uint8_t> out;
    out.reserve(44 + wave.dataBytes + pad);
    putTag(out, "RIFF");
    put32(out, 4 + (8 + 16) + (8 + wave.dataBytes + pad));
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, static_cast<std::uint32_t>(wave.sampleRate));
    put32(out, static_cast<std::uint32_t>(wave.sampleRate * bytesPerSample));
    put16(out, static_cast<std::uint16_t>(bytesPerSample));
    put16(out, static_cast<std::uint16_t>(wave.bitsPerSample));
    putTag(out, "data");
    put32(out, static_cast<std::uint32_t>(wave.dataBytes));
    for (double x : samples) {
        const double c = std::clamp(x, -1.0, 1.0);
        if (bytesPerSample == 1)
            out.push_back(static_cast<std::uint8_t>(std::lround(128 + 127 * c)));
        else
            put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(32767 * c))));
    }
    if (pad)
        out.push_back(0);
    return out;
}

} // namespace peggen
