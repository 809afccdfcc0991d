// peggen: draws the program's card faces and pictures and synthesizes its
// sounds into a directory. Run by the build; the files it writes are then
// embedded into the program as Qt resources.
//
//   peggen OUTDIR
//
// Every picture except the advert and the icon is written at 1× and, as
// NAME@2x.png and NAME@4x.png, drawn again at twice and four times the
// resolution for dense screens and for the board scaled up with the window.
//
// The program icon is also drawn, from the same drawing, at the sizes a
// desktop's icon theme looks for, as icons/NxN.png. Those are not
// embedded; the install puts them in the hicolor theme so menus and
// launchers show the same picture as the program's windows.
#include "peggen.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

struct ButtonArt {
    const char *label;
    int width;
};

// The picture buttons of the game windows. File names are the label in
// lower case with spaces turned into underscores.
constexpr ButtonArt kButtons[] = {
    {"Start Game", 126}, {"High Scores", 126}, {"SEND SCORE", 160}, {"Close", 126},
    {"Continue", 126},   {"Done", 126},        {"Cancel", 126},     {"Reset Tally", 126},
};
constexpr int kButtonHeight = 40;

// The hicolor theme's usual application icon sizes.
constexpr int kDesktopIconSizes[] = {16, 32, 48, 64, 128, 256};

class Writer {
public:
    explicit Writer(const QString &dir) : m_dir(dir) {}

    void image(const QString &name, const QImage &img)
    {
        const QString path = m_dir.filePath(name);
        if (img.isNull() || !img.save(path, "PNG"))
            fail(path);
    }

    // Draws `draw` at every scale.
    template <typename Draw>
    void scaled(const QString &stem, Draw draw)
    {
        image(stem + QStringLiteral(".png"), draw(1));
        image(stem + QStringLiteral("@2x.png"), draw(2));
        image(stem + QStringLiteral("@4x.png"), draw(4));
    }

    void bytes(const QString &name, const std::vector<std::uint8_t> &data)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)
            || f.write(reinterpret_cast<const char *>(data.data()), static_cast<qint64>(data.size()))
                   != static_cast<qint64>(data.size()))
            fail(path);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    [[noreturn]] static void fail(const QString &path)
    {
        std::fprintf(stderr, "peggen: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }

private:
    QDir m_dir;
};

QString buttonStem(const char *label)
{
    return QStringLiteral("buttons/") + QString::fromLatin1(label).toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: peggen OUTDIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (const char *sub : {"", "buttons", "sounds", "icons"}) {
        if (!QDir().mkpath(QDir(out).filePath(QString::fromLatin1(sub)))) {
            std::fprintf(stderr, "peggen: cannot create %s\n", argv[1]);
            return 1;
        }
    }

    try {
        using namespace peggen;
        Writer w(out);
        w.scaled(QStringLiteral("cards"), [](int s) { return drawCardStrip(s); });
        for (const ButtonArt &b : kButtons)
            w.scaled(buttonStem(b.label), [&](int s) {
                return drawButton(b.width, kButtonHeight, QString::fromLatin1(b.label), s);
            });
        w.scaled(QStringLiteral("maker"), [](int s) { return drawMakerStrip(s); });
        // The main window's board is drawn without pegs: the game puts its own
        // in, at the running total.
        w.scaled(QStringLiteral("cribbage_main"), [](int s) { return drawCribbageBoard(110, 329, s); });
        w.scaled(QStringLiteral("cribbage_scores"), [](int s) { return drawCribbageBoard(97, 322, s, {{35}, {47}}); });
        w.scaled(QStringLiteral("tile"), [](int s) { return drawTile(s); });
        w.scaled(QStringLiteral("title"), [](int s) { return drawTitle(s); });
        w.image(QStringLiteral("icon.png"), drawIcon(32));
        w.image(QStringLiteral("icon@2x.png"), drawIcon(64));
        for (const int size : kDesktopIconSizes)
            w.image(QStringLiteral("icons/%1x%1.png").arg(size), drawIcon(size));
        if (!writeJpeg(drawAdvert(), w.path(QStringLiteral("advert.jpg")), 90))
            Writer::fail(w.path(QStringLiteral("advert.jpg")));
        for (const WaveFormat &wave : kWaves)
            w.bytes(QStringLiteral("sounds/%1.wav").arg(QString::fromLatin1(wave.name)), synthesizeWave(wave));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "peggen: %s\n", e.what());
        return 1;
    }
    return 0;
}
