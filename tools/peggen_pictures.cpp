// Picture buttons, the maker strip, the CRIBBAGE boards, the background
// tile, the title, the icon and the advert.
#include "peggen.h"

#include "cribbagetrack.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <jpeglib.h>

namespace peggen {
namespace {

const QColor kMaroon(128, 0, 0);
const QColor kGoldLine(232, 200, 120);

QFont sans(double pixelSize, bool bold)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(static_cast<int>(pixelSize));
    f.setBold(bold);
    return f;
}

QFont serif(double pixelSize, bool bold)
{
    QFont f(QStringLiteral("Liberation Serif"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(static_cast<int>(pixelSize));
    f.setBold(bold);
    return f;
}

// A canvas of logical size w × h at `scale`, with a painter already scaled
// so callers draw in logical pixels.
struct Canvas {
    QImage image;
    QPainter painter;
    Canvas(int w, int h, int scale, QImage::Format format = QImage::Format_RGB32)
        : image(w * scale, h * scale, format)
    {
        image.fill(Qt::black);
        painter.begin(&image);
        painter.scale(scale, scale);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
    }
    QImage finish(QImage::Format format = QImage::Format_RGB888)
    {
        painter.end();
        return image.convertToFormat(format);
    }
};

// Deterministic noise so every build produces the same pictures.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : m_state(seed) {}
    double next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) / double(1u << 24);
    }

private:
    std::uint32_t m_state;
};

// Text with a one-pixel darker shadow below and right, for legibility on
// coloured faces.
void shadowedText(QPainter &p, const QRectF &r, int flags, const QString &text, const QColor &ink,
                  const QColor &shadow)
{
    p.setPen(shadow);
    p.drawText(r.translated(0.8, 0.8), flags, text);
    p.setPen(ink);
    p.drawText(r, flags, text);
}

// A wooden surface with soft grain running along its length.
void paintWood(QPainter &p, const QRectF &r, bool vertical, std::uint32_t seed)
{
    QLinearGradient base(r.topLeft(), vertical ? r.topRight() : r.bottomLeft());
    base.setColorAt(0, QColor(150, 92, 48));
    base.setColorAt(0.5, QColor(178, 116, 62));
    base.setColorAt(1, QColor(140, 84, 42));
    p.fillRect(r, base);
    Lcg rng(seed);
    p.save();
    p.setClipRect(r);
    for (int i = 0; i < 26; ++i) {
        const double across = (vertical ? r.left() + r.width() * rng.next() : r.top() + r.height() * rng.next());
        const double wobble = 1.5 + 3 * rng.next();
        const double phase = 6.28 * rng.next();
        QPainterPath grain;
        const double length = vertical ? r.height() : r.width();
        for (double t = 0; t <= length; t += 3) {
            const double off = across + wobble * std::sin(t / 37.0 + phase);
            const QPointF pt = vertical ? QPointF(off, r.top() + t) : QPointF(r.left() + t, off);
            if (t == 0)
                grain.moveTo(pt);
            else
                grain.lineTo(pt);
        }
        const int shade = 70 + static_cast<int>(rng.next() * 40);
        p.setPen(QPen(QColor(shade + 30, shade, shade / 2, 60), 0.6 + rng.next()));
        p.setBrush(Qt::NoBrush);
        p.drawPath(grain);
    }
    p.restore();
}

void paintPegHole(QPainter &p, QPointF c)
{
    const double r = cribbagetrack::kHoleRadius;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 160, 110, 140));
    p.drawEllipse(c + QPointF(0.35, 0.35), r + 0.2, r + 0.2);
    p.setBrush(QColor(50, 26, 10));
    p.drawEllipse(c, r, r);
}

void paintPeg(QPainter &p, QPointF c, const QColor &colour)
{
    QRadialGradient g(c - QPointF(0.8, 0.8), 3.0);
    g.setColorAt(0, colour.lighter(170));
    g.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(180), 0.5));
    p.setBrush(g);
    p.drawEllipse(c, 2.6, 2.6);
}

// The felt of a card table, with a faint radial light.
void paintFelt(QPainter &p, const QRectF &r)
{
    QRadialGradient g(r.center(), std::max(r.width(), r.height()) * 0.7);
    g.setColorAt(0, QColor(34, 128, 70));
    g.setColorAt(1, QColor(12, 74, 38));
    p.fillRect(r, g);
}

void paintMiniCard(QPainter &p, QPointF topLeft, double scale, int code, double angle = 0)
{
    p.save();
    p.translate(topLeft);
    p.rotate(angle);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(QRectF(1.5, 1.5, kCardWidth, kCardHeight), 3, 3);
    paintCard(p, code, 0, 0);
    p.restore();
}

} // namespace

QImage drawButton(int width, int height, const QString &label, int scale)
{
    Canvas c(width, height, scale);
    QPainter &p = c.painter;
    const QRectF r(0, 0, width, height);
    QLinearGradient face(r.topLeft(), r.bottomLeft());
    face.setColorAt(0.0, QColor(168, 28, 28));
    face.setColorAt(0.48, QColor(132, 10, 10));
    face.setColorAt(0.52, QColor(118, 4, 4));
    face.setColorAt(1.0, QColor(86, 0, 0));
    p.fillRect(r, face);
    // Outer dark edge, thin light border, and a soft inner highlight on top.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 0, 0), 1));
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(QPen(kGoldLine, 1));
    p.drawRect(r.adjusted(2.5, 2.5, -2.5, -2.5));
    p.setPen(QPen(QColor(255, 150, 150, 70), 1));
    p.drawLine(QPointF(4, 4.5), QPointF(width - 4, 4.5));
    p.setFont(sans(15, true));
    shadowedText(p, r.adjusted(0, 0, 0, -1), Qt::AlignCenter, label, QColor(252, 242, 220), QColor(50, 0, 0));
    return c.finish();
}

QImage drawMakerStrip(int scale)
{
    Canvas c(287, 18, scale);
    QPainter &p = c.painter;
    const QRectF r(0, 0, 287, 18);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(252, 246, 224));
    g.setColorAt(1, QColor(236, 224, 184));
    p.fillRect(r, g);
    p.setPen(QPen(QColor(170, 140, 80), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    const QString text =
        QStringLiteral("%1  \u2022  %2").arg(QString::fromLatin1(kMaker.name), QString::fromLatin1(kMaker.address));
    p.setFont(sans(11, true));
    p.setPen(kMaroon);
    p.drawText(r, Qt::AlignCenter, text);
    return c.finish();
}

// A cribbage board standing on end: the lap of peg holes down the sides,
// CRIBBAGE inlaid down the middle and any decorative pegs.
QImage drawCribbageBoard(int width, int height, int scale, std::initializer_list<DecorativePeg> decorativePegs)
{
    Canvas c(width, height, scale);
    QPainter &p = c.painter;
    const QRectF r(0, 0, width, height);
    p.fillRect(r, QColor(210, 197, 132));
    const QRectF board = r.adjusted(2, 2, -2, -2);
    QPainterPath shape;
    shape.addRoundedRect(board, 12, 12);
    p.save();
    p.setClipPath(shape);
    paintWood(p, board, true, static_cast<std::uint32_t>(width * 131 + height));
    p.restore();
    p.setPen(QPen(QColor(80, 44, 18), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.setPen(QPen(QColor(230, 180, 120, 120), 0.8));
    p.drawRoundedRect(board.adjusted(2, 2, -2, -2), 10, 10);

    // The lap of holes and the two start holes where the track puts them,
    // so the game's pegs land in them.
    const QSizeF size(width, height);
    for (int hole = 1; hole <= cribbagetrack::kLapHoles; ++hole)
        paintPegHole(p, cribbagetrack::holeCentre(size, hole));
    for (const auto peg : {cribbagetrack::Peg::Front, cribbagetrack::Peg::Back})
        paintPegHole(p, cribbagetrack::startHoleCentre(size, peg));
    // A board that shows no game of its own gets two pegs in play.
    for (const DecorativePeg &peg : decorativePegs)
        paintPeg(p, cribbagetrack::pegCentre(size, peg.total, cribbagetrack::Peg::Front), QColor(200, 30, 30));

    // Inlaid letters on a dark band.
    const QRectF band(board.center().x() - 17, board.top() + 10, 34, board.height() - 20);
    p.setPen(QPen(kGoldLine, 1));
    p.setBrush(QColor(96, 8, 8));
    p.drawRoundedRect(band, 6, 6);
    const QString word = QStringLiteral("CRIBBAGE");
    const double step = (band.height() - 12) / word.size();
    p.setFont(serif(std::min(step * 0.92, 30.0), true));
    for (int i = 0; i < word.size(); ++i) {
        const QRectF cell(band.left(), band.top() + 6 + i * step, band.width(), step);
        shadowedText(p, cell, Qt::AlignCenter, word.mid(i, 1), QColor(246, 220, 140), QColor(40, 0, 0));
    }
    return c.finish();
}

// The window background: light, close to RGB(210, 197, 132), with a
// faint woven grain. Every pattern repeats exactly over 100 pixels so the
// tiles meet without seams.
QImage drawTile(int scale)
{
    const int size = 100 * scale;
    QImage img(size, size, QImage::Format_RGB888);
    // Lattice noise on a 10 × 10 grid that wraps, smoothly interpolated.
    constexpr int kGrid = 10;
    double lattice[kGrid][kGrid];
    Lcg rng(20240611u);
    for (auto &row : lattice)
        for (double &v : row)
            v = rng.next() - 0.5;
    Lcg fine(7u);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double u = double(x) / size;
            const double v = double(y) / size;
            const double gx = u * kGrid;
            const double gy = v * kGrid;
            const int x0 = static_cast<int>(gx) % kGrid;
            const int y0 = static_cast<int>(gy) % kGrid;
            const double fx = gx - std::floor(gx);
            const double fy = gy - std::floor(gy);
            const double sx = fx * fx * (3 - 2 * fx);
            const double sy = fy * fy * (3 - 2 * fy);
            const double a = lattice[y0][x0] + (lattice[y0][(x0 + 1) % kGrid] - lattice[y0][x0]) * sx;
            const double b = lattice[(y0 + 1) % kGrid][x0]
                             + (lattice[(y0 + 1) % kGrid][(x0 + 1) % kGrid] - lattice[(y0 + 1) % kGrid][x0]) * sx;
            const double cloud = a + (b - a) * sy;
            const double weave = 0.5 * std::sin(2 * M_PI * 25 * u) * std::sin(2 * M_PI * 25 * v);
            const double grain = fine.next() - 0.5;
            const double d = 9 * cloud + 2.2 * weave + 3.0 * grain;
            auto clamp = [](double c) { return static_cast<int>(std::lround(std::clamp(c, 0.0, 255.0))); };
            img.setPixel(x, y, qRgb(clamp(210 + d), clamp(197 + d * 0.95), clamp(132 + d * 0.7)));
        }
    }
    return img;
}

QImage drawTitle(int scale)
{
    Canvas c(270, 80, scale);
    QPainter &p = c.painter;
    const QRectF r(0, 0, 270, 80);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(252, 245, 222));
    g.setColorAt(1, QColor(232, 216, 168));
    p.fillRect(r, g);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kMaroon, 2));
    p.drawRect(r.adjusted(1, 1, -1, -1));
    p.setPen(QPen(kGoldLine.darker(115), 1));
    p.drawRect(r.adjusted(4.5, 4.5, -4.5, -4.5));

    // A small square of four cards, the game's grid in miniature.
    const int codes[4] = {27, 53 - 2, 14 + 4, 1 + 10};
    for (int k = 0; k < 4; ++k)
        paintMiniCard(p, QPointF(13 + (k % 2) * 24, 10 + (k / 2) * 31), 0.36, codes[k]);

    QFont f = serif(44, true);
    p.setFont(f);
    const QRectF textBox(64, 4, 200, 58);
    QPainterPath word;
    const QFontMetricsF fm(f);
    const QString title = QStringLiteral("Pegsquare");
    const double tx = textBox.left() + (textBox.width() - fm.horizontalAdvance(title)) / 2;
    word.addText(QPointF(tx, textBox.top() + 46), f, title);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 60, 20, 90));
    p.drawPath(word.translated(1.5, 1.5));
    QLinearGradient ink(0, textBox.top() + 12, 0, textBox.top() + 50);
    ink.setColorAt(0, QColor(170, 20, 20));
    ink.setColorAt(1, QColor(100, 0, 0));
    p.setBrush(ink);
    p.setPen(QPen(QColor(60, 0, 0), 0.8));
    p.drawPath(word);
    p.setFont(sans(11, true));
    p.setPen(QColor(96, 70, 30));
    p.drawText(QRectF(64, 56, 200, 16), Qt::AlignCenter, QStringLiteral("CRIBBAGE  SQUARE  SOLITAIRE"));
    return c.finish();
}

// 256 colours: the picture is drawn in full colour and then reduced to an
// 8-bit palette.
QImage drawIcon(int size)
{
    const double scale = size / 32.0;
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(160, 20, 20));
    g.setColorAt(1, QColor(100, 0, 0));
    p.setPen(QPen(kGoldLine, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);
    // Four card backs and faces in a 2 × 2 square.
    for (int k = 0; k < 4; ++k) {
        const QRectF cell(5 + (k % 2) * 11.5, 4 + (k / 2) * 12.5, 10, 11.5);
        p.setPen(QPen(QColor(90, 90, 90), 0.5));
        p.setBrush(Qt::white);
        p.drawRoundedRect(cell, 1.2, 1.2);
        p.setPen(Qt::NoPen);
        p.setBrush(k == 1 || k == 2 ? QColor(210, 20, 30) : QColor(20, 20, 20));
        p.drawEllipse(cell.center(), 2.6, 2.6);
    }
    paintPeg(p, QPointF(26.5, 26.5), QColor(232, 182, 48));
    p.end();
    return img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// A view of the multiplayer club's cribbage table with a banner inviting
// the player into its lobby.
QImage drawAdvert()
{
    Canvas c(389, 269, 1);
    QPainter &p = c.painter;
    const QRectF r(0, 0, 389, 269);
    p.fillRect(r, QColor(40, 44, 56));

    // Title bar.
    QLinearGradient bar(0, 0, 0, 20);
    bar.setColorAt(0, QColor(70, 90, 150));
    bar.setColorAt(1, QColor(36, 52, 110));
    p.fillRect(QRectF(0, 0, 389, 20), bar);
    p.setFont(sans(11, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(8, 0, 300, 20), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Pegclub \u2014 Cribbage Table 7"));
    for (int k = 0; k < 3; ++k) {
        p.setPen(QPen(QColor(20, 24, 40), 0.8));
        p.setBrush(QColor(200, 205, 220));
        p.drawRect(QRectF(344 + k * 14, 5, 10, 10));
    }

    // The table.
    const QRectF table(8, 26, 262, 168);
    p.setPen(QPen(QColor(90, 50, 20), 5));
    p.setBrush(Qt::NoBrush);
    QPainterPath rim;
    rim.addRoundedRect(table, 40, 40);
    p.save();
    p.setClipPath(rim);
    paintFelt(p, table);
    p.restore();
    p.drawPath(rim);

    // A pegboard across the middle.
    const QRectF board(table.center().x() - 70, table.center().y() - 11, 140, 22);
    p.save();
    QPainterPath boardShape;
    boardShape.addRoundedRect(board, 5, 5);
    p.setClipPath(boardShape);
    paintWood(p, board, false, 99u);
    p.restore();
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 30; ++i)
            paintPegHole(p, QPointF(board.left() + 8 + i * 4.3 + (i / 5) * 1.2, board.top() + 5 + row * 6));
    paintPeg(p, QPointF(board.left() + 8 + 11 * 4.3 + 2.4, board.top() + 5), QColor(200, 30, 30));
    paintPeg(p, QPointF(board.left() + 8 + 19 * 4.3 + 3.6, board.top() + 11), QColor(40, 90, 200));
    paintPeg(p, QPointF(board.left() + 8 + 7 * 4.3 + 1.2, board.top() + 17), QColor(240, 200, 40));

    // Hands: the player's fanned face up at the bottom, backs elsewhere.
    const int hand[6] = {5, 18, 31, 11, 44, 24};
    for (int k = 0; k < 6; ++k)
        paintMiniCard(p, QPointF(84 + k * 17, 138 + std::abs(k - 2.5) * 1.5), 0.5, hand[k], (k - 2.5) * 5);
    for (int k = 0; k < 6; ++k)
        paintMiniCard(p, QPointF(100 + k * 11, 36), 0.36, 0);
    // The side players' hands lie turned towards them.
    for (int k = 0; k < 5; ++k) {
        paintMiniCard(p, QPointF(50, 62 + k * 9), 0.36, 0, 90);
        paintMiniCard(p, QPointF(228, 84 + k * 9), 0.36, 0, -90);
    }
    paintMiniCard(p, QPointF(152, 102), 0.45, 29);

    auto namePlate = [&](QPointF at, const QString &name, int score) {
        const QRectF plate(at, QSizeF(60, 15));
        p.setPen(QPen(QColor(230, 200, 120), 0.8));
        p.setBrush(QColor(0, 0, 0, 150));
        p.drawRoundedRect(plate, 4, 4);
        p.setFont(sans(9, true));
        p.setPen(Qt::white);
        p.drawText(plate.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, name);
        p.setPen(QColor(250, 210, 90));
        p.drawText(plate.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignRight, QString::number(score));
    };
    namePlate(QPointF(109, 68), QStringLiteral("Rosa"), 87);
    namePlate(QPointF(14, 42), QStringLiteral("Tom"), 64);
    namePlate(QPointF(204, 42), QStringLiteral("Kit"), 71);
    namePlate(QPointF(109, 176), QStringLiteral("You"), 92);

    // Player list and chat down the right.
    const QRectF side(276, 26, 106, 168);
    p.setPen(QPen(QColor(90, 100, 130), 1));
    p.setBrush(QColor(238, 240, 246));
    p.drawRect(side);
    p.fillRect(QRectF(side.left() + 1, side.top() + 1, side.width() - 1, 14), QColor(70, 90, 150));
    p.setFont(sans(9, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(side.left() + 4, side.top() + 1, 100, 14), Qt::AlignVCenter, QStringLiteral("Table chat"));
    const char *const chat[][2] = {{"Rosa", "nice fifteen!"}, {"Tom", "his nobs :)"},    {"Kit", "deal me in"},
                                   {"Rosa", "go"},            {"You", "fifteen two..."}, {"Tom", "gg all"}};
    p.setFont(sans(9, false));
    for (int k = 0; k < 6; ++k) {
        const QRectF line(side.left() + 4, side.top() + 19 + k * 15, side.width() - 6, 14);
        p.setPen(QColor(36, 52, 110));
        p.drawText(line, Qt::AlignVCenter | Qt::AlignLeft, QString::fromLatin1(chat[k][0]) + QLatin1Char(':'));
        p.setPen(QColor(40, 40, 40));
        p.drawText(line.adjusted(30, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QString::fromLatin1(chat[k][1]));
    }
    p.setPen(QPen(QColor(150, 160, 180), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(side.left() + 4, side.bottom() - 18, side.width() - 8, 14));

    // The advert banner.
    const QRectF banner(0, 200, 389, 69);
    QLinearGradient bg(banner.topLeft(), banner.bottomLeft());
    bg.setColorAt(0, QColor(140, 10, 10));
    bg.setColorAt(1, QColor(80, 0, 0));
    p.fillRect(banner, bg);
    p.setPen(QPen(kGoldLine, 1.5));
    p.drawLine(QPointF(0, 200.5), QPointF(389, 200.5));
    p.setFont(serif(21, true));
    shadowedText(p, QRectF(14, 204, 260, 28), Qt::AlignLeft | Qt::AlignVCenter,
                 QStringLiteral("Play cribbage live!"), QColor(252, 232, 170), QColor(30, 0, 0));
    p.setFont(sans(11, false));
    p.setPen(QColor(250, 240, 220));
    p.drawText(QRectF(14, 230, 250, 32), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Join players from around the world in the Pegclub lobby. Free tables open now."));
    const QRectF button(276, 219, 100, 32);
    QLinearGradient bb(button.topLeft(), button.bottomLeft());
    bb.setColorAt(0, QColor(255, 220, 110));
    bb.setColorAt(1, QColor(220, 160, 30));
    p.setPen(QPen(QColor(120, 70, 0), 1));
    p.setBrush(bb);
    p.drawRoundedRect(button, 7, 7);
    p.setFont(sans(13, true));
    p.setPen(QColor(90, 20, 0));
    p.drawText(button, Qt::AlignCenter, QStringLiteral("Enter Lobby"));
    p.setFont(sans(9, false));
    p.setPen(QColor(240, 200, 160));
    p.drawText(QRectF(270, 253, 112, 14), Qt::AlignCenter, QString::fromLatin1(kMaker.address));
    return c.finish();
}

bool writeJpeg(const QImage &image, const QString &path, int quality)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    // The library's default error handler ends the process, which is the
    // right outcome for a build step.
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

} // namespace peggen
