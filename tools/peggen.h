#pragma once

// Shared pieces of peggen, the build-time generator of the program's
// artwork and sounds. Each drawing function paints at `scale` device
// pixels per logical pixel, so the 2× pictures are drawn, not enlarged.

#include <QImage>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

class QPainter;
class QRectF;

namespace peggen {

// The maker's name and web address shown on the maker strip and the
// advert. Placeholders until the vendor's host is settled.
struct Maker {
    const char *name;
    const char *address;
};
inline constexpr Maker kMaker{"Pegsquare Games", "www.pegsquare.example"};

inline constexpr int kCardWidth = 60;
inline constexpr int kCardHeight = 82;
inline constexpr int kCardCount = 53;
inline constexpr int kCardsPerRow = 4;

// --- cards (peggen_cards.cpp) ---

// The strip of all 53 pictures, 240 × 1148 logical pixels, with alpha 0
// exactly on the four corner pixels (scale × scale blocks) of every card
// and 255 everywhere else.
QImage drawCardStrip(int scale);

// Paints card `code` (0 = back) into the logical rectangle at `x`, `y`
// of size 60 × 82 with `painter`, without touching the mask.
void paintCard(QPainter &painter, int code, double x, double y);

// --- other pictures (peggen_pictures.cpp) ---

QImage drawButton(int width, int height, const QString &label, int scale);
QImage drawMakerStrip(int scale);
// A peg drawn into a board picture that shows no game (the high-score
// window's), at the hole of `total`.
struct DecorativePeg {
    int total;
};
QImage drawCribbageBoard(int width, int height, int scale, std::initializer_list<DecorativePeg> decorativePegs = {});
QImage drawTile(int scale);
QImage drawTitle(int scale);
QImage drawIcon(int size);
QImage drawAdvert();

// Writes `image` as a baseline JPEG with three components; false on failure.
bool writeJpeg(const QImage &image, const QString &path, int quality);

// --- sounds (peggen_sounds.cpp) ---

struct WaveFormat {
    const char *name;   // file stem, lower case
    int sampleRate;
    int bitsPerSample;  // 8 or 16
    int dataBytes;      // exact size of the sample data
};

inline constexpr WaveFormat kWaves[] = {
    {"entered", 22050, 8, 17507},   {"startgame", 11025, 8, 3312}, {"cardclick", 11025, 8, 1584},
    {"invalid", 11025, 8, 2768},    {"roundover", 11025, 8, 10527}, {"continue", 22050, 8, 23424},
    {"gameover", 22050, 16, 123224},
};

// The complete RIFF WAVE file of `wave`: mono PCM with exactly
// wave.dataBytes of sample data (plus the pad byte an odd chunk needs).
std::vector<std::uint8_t> synthesizeWave(const WaveFormat &wave);

} // namespace peggen
