#include "gameresources.h"

#include "jpegdecoder.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QIcon>

#include <cmath>

namespace gameresources {
namespace {

const QString kRoot = QStringLiteral(":/pegsquare/");

QByteArray readResource(const QString &path)
{
    QFile f(kRoot + path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage loadImage(const QString &path)
{
    return QImage(kRoot + path);
}

// A picture's drawing, decoded once: a board scaled with the window asks
// for its pictures again at every step of a resize. QImage copies share
// the pixels; the lock makes the cache safe from any thread.
QImage cachedImage(const QString &path)
{
    static QMutex lock;
    static QHash<QString, QImage> decoded;
    const QMutexLocker locked(&lock);
    auto it = decoded.find(path);
    if (it == decoded.end())
        it = decoded.insert(path, loadImage(path));
    return it.value();
}

// The drawing of `stem` with the fewest pixels that still has as many as
// `ratio` asks for (1×, 2×, or 4× where there is one), so a picture is
// scaled down rather than enlarged wherever it can be.
QImage sourceFor(const QString &stem, qreal ratio)
{
    if (ratio > 2.0) {
        const QImage denser = cachedImage(stem + QStringLiteral("@4x.png"));
        if (!denser.isNull())
            return denser;
    }
    return cachedImage(stem + (ratio > 1.0 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
}

// Picks the drawing of `stem` for `ratio` and returns it covering `size`
// logical pixels.
QPixmap scaledPicture(const QString &stem, const QSize &size, qreal ratio)
{
    if (!size.isValid() || !(ratio > 0))
        return QPixmap();
    const QImage source = sourceFor(stem, ratio);
    if (source.isNull())
        return QPixmap();
    const QSize pixels(static_cast<int>(std::lround(size.width() * ratio)),
                       static_cast<int>(std::lround(size.height() * ratio)));
    // Scale in a 32-bit format: smooth scaling of a palette image (the
    // icon) crashes inside Qt 6.4.
    QPixmap pixmap = QPixmap::fromImage(
        source.size() == pixels ? source
                                : source.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                      .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

struct ButtonEntry {
    const char *label;
    const char *stem;
    int width;
};

constexpr int kButtonHeight = 40;
constexpr ButtonEntry kButtons[] = {
    {"Start Game", "start_game", 126}, {"High Scores", "high_scores", 126}, {"SEND SCORE", "send_score", 160},
    {"Close", "close", 126},           {"Continue", "continue", 126},      {"Done", "done", 126},
    {"Cancel", "cancel", 126},         {"Reset Tally", "reset_tally", 126},
};

const ButtonEntry *findButton(const QString &label)
{
    for (const ButtonEntry &b : kButtons)
        if (label == QLatin1String(b.label))
            return &b;
    return nullptr;
}

struct PictureEntry {
    Picture which;
    const char *stem;
    QSize size;
};

const PictureEntry kPictures[] = {
    {Picture::MakerStrip, "maker", QSize(287, 18)},
    {Picture::CribbageMain, "cribbage_main", QSize(110, 329)},
    {Picture::CribbageHighScores, "cribbage_scores", QSize(97, 322)},
    {Picture::Tile, "tile", QSize(100, 100)},
    {Picture::AboutTitle, "title", QSize(270, 80)},
    {Picture::Icon, "icon", QSize(32, 32)},
};

const PictureEntry *findPicture(Picture which)
{
    for (const PictureEntry &p : kPictures)
        if (p.which == which)
            return &p;
    return nullptr;
}

const char *const kSounds[] = {"entered", "startgame", "cardclick", "invalid", "roundover", "continue", "gameover"};

} // namespace

QImage cardStrip(int scale)
{
    // Decoded once per scale; QImage copies share the pixels.
    static const QImage normal = loadImage(QStringLiteral("cards.png")).convertToFormat(QImage::Format_ARGB32);
    static const QImage dense = loadImage(QStringLiteral("cards@2x.png")).convertToFormat(QImage::Format_ARGB32);
    static const QImage denser = loadImage(QStringLiteral("cards@4x.png")).convertToFormat(QImage::Format_ARGB32);
    switch (scale) {
    case 1:
        return normal;
    case 2:
        return dense;
    case 4:
        return denser;
    default:
        return QImage();
    }
}

QPixmap buttonPicture(const QString &label, qreal devicePixelRatio)
{
    const ButtonEntry *b = findButton(label);
    return b ? scaledPicture(QStringLiteral("buttons/") + QLatin1String(b->stem), buttonSize(label), devicePixelRatio)
             : QPixmap();
}

QSize buttonSize(const QString &label)
{
    const ButtonEntry *b = findButton(label);
    return b ? QSize(b->width, kButtonHeight) : QSize();
}

QPixmap picture(Picture which, qreal devicePixelRatio)
{
    const PictureEntry *p = findPicture(which);
    return p ? scaledPicture(QLatin1String(p->stem), p->size, devicePixelRatio) : QPixmap();
}

QSize pictureSize(Picture which)
{
    const PictureEntry *p = findPicture(which);
    return p ? p->size : QSize();
}

QImage tileImage()
{
    return loadImage(QStringLiteral("tile.png")).convertToFormat(QImage::Format_RGB888);
}

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(loadImage(QStringLiteral("icon.png"))));
    icon.addPixmap(QPixmap::fromImage(loadImage(QStringLiteral("icon@2x.png"))));
    return icon;
}

QByteArray advertJpeg()
{
    return readResource(QStringLiteral("advert.jpg"));
}

QImage advertPicture()
{
    const QByteArray bytes = advertJpeg();
    const platform::JpegResult decoded =
        platform::decodeJpeg(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    if (!decoded.ok())
        return QImage();
    const platform::RgbImage &rgb = decoded.image;
    // Wrap the decoder's rows, then copy so the image owns its pixels.
    return QImage(rgb.pixels.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888).copy();
}

QByteArray sound(const QString &name)
{
    const QString key = name.toLower();
    for (const char *s : kSounds)
        if (key == QLatin1String(s))
            return readResource(QStringLiteral("sounds/%1.wav").arg(key));
    return QByteArray();
}

QStringList soundNames()
{
    QStringList names;
    for (const char *s : kSounds)
        names << QString::fromLatin1(s);
    return names;
}

std::map<std::string, std::vector<std::uint8_t>> soundFiles()
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const char *s : kSounds) {
        const QByteArray bytes = sound(QString::fromLatin1(s));
        files[s] = std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    return files;
}

QString helpText(const QString &name)
{
    for (const char *known : {"overview", "gameplay", "scoring", "documentation", "license"})
        if (name == QLatin1String(known))
            return QString::fromUtf8(readResource(QStringLiteral("help/%1.txt").arg(name)));
    return QString();
}

} // namespace gameresources
