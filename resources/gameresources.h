#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class QIcon;

// The program's own artwork and sounds, drawn and synthesized at build
// time and embedded in the program. Every function reads the embedded
// copy; none touches the file system or the network.
namespace gameresources {

// The card image list strip: 53 pictures of 60 × 82 (index = card code,
// 0 = the back), four to a row, image i at column i mod 4 and row i div 4.
// `scale` 1 gives 240 × 1148 pixels, 2 and 4 the same layout drawn at
// twice and four times the resolution (480 × 2296, 960 × 4592). Alpha is 0
// exactly on the four corner pixels (scale × scale blocks) of every card
// and 255 on every other pixel of a card. Any other scale gives a null
// image.
QImage cardStrip(int scale = 1);

// The picture button labelled `label`, one of "Start Game", "High
// Scores", "SEND SCORE", "Close", "Continue", "Done", "Cancel", "Reset
// Tally" (exact text). The pixmap covers buttonSize(label) logical pixels
// at `devicePixelRatio`: the 1× drawing at ratio 1, the 2× drawing up to
// 2, the 4× one above (smoothly rescaled for other ratios). Null for any
// other label.
QPixmap buttonPicture(const QString &label, qreal devicePixelRatio = 1.0);
// 126 × 40, or 160 × 40 for SEND SCORE; an invalid size for other labels.
QSize buttonSize(const QString &label);

enum class Picture {
    MakerStrip,          // 287 × 18: the maker's name and web address
    CribbageMain,        // 110 × 329: the main window's CRIBBAGE side picture
    CribbageHighScores,  // 97 × 322: the online high-score window's one
    Tile,                // 100 × 100: the background tile behind every window
    AboutTitle,          // 270 × 80: the about window's title picture
    Icon,                // 32 × 32: the program icon, 256 colours
};

// `which` at `devicePixelRatio`, chosen and scaled like buttonPicture()
// (the icon has no 4× drawing; its 2× one serves above 2).
QPixmap picture(Picture which, qreal devicePixelRatio = 1.0);
QSize pictureSize(Picture which);

// The 100 × 100 background tile as the 24-bit image it is stored as.
QImage tileImage();

// The program icon at 32 × 32 and 64 × 64.
QIcon programIcon();

// The advert picture as stored: a baseline three-component JPEG file.
QByteArray advertJpeg();
// The advert picture decoded at run time (389 × 269); a null image if the
// JPEG decoder reports an error.
QImage advertPicture();

// The complete RIFF WAVE file of the sound `name` ("entered",
// "startgame", "cardclick", "invalid", "roundover", "continue",
// "gameover"), matched without regard to case; empty for any other name.
QByteArray sound(const QString &name);
// The seven sound names, lower case.
QStringList soundNames();
// All seven sounds keyed by lower-case name, in the form the SDL player
// takes (platform::SdlSoundPlayer::WaveFiles).
std::map<std::string, std::vector<std::uint8_t>> soundFiles();

// The help text `name` ("overview", "gameplay", "scoring",
// "documentation", "license"), decoded from UTF-8; empty for any other
// name. Each starts with its title line and an empty line.
QString helpText(const QString &name);

} // namespace gameresources
