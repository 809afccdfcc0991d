// Card faces: pips, corner indices, court figures and the back.
#include "peggen.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

namespace peggen {
namespace {

enum Suit { Clubs, Diamonds, Hearts, Spades };

const QColor kRed(204, 20, 30);
const QColor kBlack(20, 20, 24);
const QColor kGold(232, 182, 48);
const QColor kBlue(36, 72, 168);
const QColor kSkin(252, 222, 186);
const QColor kOutline(40, 30, 30);
const QColor kCardEdge(110, 110, 116);

bool isRed(Suit s) { return s == Diamonds || s == Hearts; }
QColor suitInk(Suit s) { return isRed(s) ? kRed : kBlack; }

// Suit outlines in a unit box centred on the origin (-0.5 … 0.5), point
// up. Drawn as paths rather than font glyphs so they look the same on
// every machine and stay sharp at both scales.
QPainterPath heartPath()
{
    QPainterPath p;
    p.moveTo(0, 0.48);
    p.cubicTo(-0.16, 0.30, -0.50, 0.10, -0.50, -0.16);
    p.cubicTo(-0.50, -0.38, -0.34, -0.48, -0.24, -0.48);
    p.cubicTo(-0.11, -0.48, -0.03, -0.40, 0, -0.28);
    p.cubicTo(0.03, -0.40, 0.11, -0.48, 0.24, -0.48);
    p.cubicTo(0.34, -0.48, 0.50, -0.38, 0.50, -0.16);
    p.cubicTo(0.50, 0.10, 0.16, 0.30, 0, 0.48);
    p.closeSubpath();
    return p;
}

QPainterPath diamondPath()
{
    QPainterPath p;
    p.moveTo(0, -0.5);
    p.quadTo(0.12, -0.22, 0.40, 0);
    p.quadTo(0.12, 0.22, 0, 0.5);
    p.quadTo(-0.12, 0.22, -0.40, 0);
    p.quadTo(-0.12, -0.22, 0, -0.5);
    p.closeSubpath();
    return p;
}

QPainterPath stemPath()
{
    QPainterPath p;
    p.moveTo(0, 0.02);
    p.quadTo(0.04, 0.36, 0.20, 0.50);
    p.lineTo(-0.20, 0.50);
    p.quadTo(-0.04, 0.36, 0, 0.02);
    p.closeSubpath();
    return p;
}

QPainterPath spadePath()
{
    QPainterPath p;
    p.moveTo(0, -0.5);
    p.cubicTo(-0.12, -0.32, -0.50, -0.12, -0.50, 0.12);
    p.cubicTo(-0.50, 0.30, -0.36, 0.38, -0.24, 0.38);
    p.cubicTo(-0.12, 0.38, -0.04, 0.32, 0, 0.24);
    p.cubicTo(0.04, 0.32, 0.12, 0.38, 0.24, 0.38);
    p.cubicTo(0.36, 0.38, 0.50, 0.30, 0.50, 0.12);
    p.cubicTo(0.50, -0.12, 0.12, -0.32, 0, -0.5);
    p.closeSubpath();
    return p.united(stemPath());
}

QPainterPath clubPath()
{
    const double r = 0.215;
    auto disc = [](QPointF c, double radius) {
        QPainterPath d;
        d.addEllipse(c, radius, radius);
        return d;
    };
    return disc(QPointF(0, -0.27), r)
        .united(disc(QPointF(-0.26, 0.09), r))
        .united(disc(QPointF(0.26, 0.09), r))
        .united(disc(QPointF(0, 0.02), 0.14))
        .united(stemPath());
}

const QPainterPath &suitPath(Suit s)
{
    static const std::array<QPainterPath, 4> paths = {clubPath(), diamondPath(), heartPath(), spadePath()};
    return paths[s];
}

// A pip of `size` logical pixels centred on `centre`; `flipped` turns it
// upside down, as the pips of a card's lower half are.
void paintPip(QPainter &p, Suit s, QPointF centre, double size, bool flipped = false)
{
    p.save();
    p.translate(centre);
    p.scale(size, flipped ? -size : size);
    p.setPen(Qt::NoPen);
    p.setBrush(suitInk(s));
    p.drawPath(suitPath(s));
    p.restore();
}

// Pip positions of ranks 2 … 10 as (column, row): column 0, 1, 2 left to
// right, row as a fraction of the pip field's height.
struct PipSpot {
    int column;
    double row;
};

const std::vector<PipSpot> &pipLayout(int rank)
{
    static const std::array<std::vector<PipSpot>, 11> layouts = {{
        {},
        {},
        {{1, 0}, {1, 1}},
        {{1, 0}, {1, 0.5}, {1, 1}},
        {{0, 0}, {2, 0}, {0, 1}, {2, 1}},
        {{0, 0}, {2, 0}, {1, 0.5}, {0, 1}, {2, 1}},
        {{0, 0}, {2, 0}, {0, 0.5}, {2, 0.5}, {0, 1}, {2, 1}},
        {{0, 0}, {2, 0}, {1, 0.25}, {0, 0.5}, {2, 0.5}, {0, 1}, {2, 1}},
        {{0, 0}, {2, 0}, {1, 0.25}, {0, 0.5}, {2, 0.5}, {1, 0.75}, {0, 1}, {2, 1}},
        {{0, 0}, {2, 0}, {0, 1.0 / 3}, {2, 1.0 / 3}, {1, 0.5}, {0, 2.0 / 3}, {2, 2.0 / 3}, {0, 1}, {2, 1}},
        {{0, 0},
         {2, 0},
         {1, 1.0 / 6},
         {0, 1.0 / 3},
         {2, 1.0 / 3},
         {0, 2.0 / 3},
         {2, 2.0 / 3},
         {1, 5.0 / 6},
         {0, 1},
         {2, 1}},
    }};
    return layouts[rank];
}

constexpr double kPipColumns[3] = {19.5, 30, 40.5};
constexpr double kPipTop = 14.5;
constexpr double kPipBottom = 67.5;

void paintPips(QPainter &p, Suit s, int rank, QPointF origin)
{
    const double size = rank >= 9 ? 10.5 : 11.5;
    for (const PipSpot &spot : pipLayout(rank)) {
        const double y = kPipTop + spot.row * (kPipBottom - kPipTop);
        paintPip(p, s, origin + QPointF(kPipColumns[spot.column], y), size, spot.row > 0.5);
    }
}

void paintAce(QPainter &p, Suit s, QPointF origin)
{
    const QPointF centre = origin + QPointF(30, 41);
    if (s == Spades) {
        // The ace of spades carries an ornate pip: a gold ring behind it.
        p.setPen(QPen(kGold, 1.2));
        p.setBrush(QColor(250, 240, 205));
        p.drawEllipse(centre, 17, 17);
        p.setPen(QPen(QColor(150, 104, 20), 0.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 14.5, 14.5);
        paintPip(p, s, centre, 22);
    } else {
        paintPip(p, s, centre, 24);
    }
}

QFont indexFont(bool ten)
{
    QFont f(QStringLiteral("Liberation Serif"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(14);
    f.setBold(true);
    if (ten)
        f.setLetterSpacing(QFont::AbsoluteSpacing, -1.2);
    return f;
}

const char *const kRankText[13] = {"A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"};

// Rank over a small pip, in the top-left corner; the bottom-right corner
// gets the same turned half round.
void paintIndex(QPainter &p, Suit s, int rank, QPointF origin)
{
    const QString text = QString::fromLatin1(kRankText[rank - 1]);
    for (int half = 0; half < 2; ++half) {
        p.save();
        p.translate(origin);
        if (half == 1) {
            p.translate(kCardWidth, kCardHeight);
            p.rotate(180);
        }
        p.setFont(indexFont(rank == 10));
        p.setPen(suitInk(s));
        p.drawText(QRectF(0.5, 1, 14, 15), Qt::AlignHCenter | Qt::AlignVCenter, text);
        paintPip(p, s, QPointF(7.5, 21.5), 8);
        p.restore();
    }
}

// --- court cards ---

// The court picture's frame leaves room for the corner indices; the
// figure is drawn in a 35-wide box and narrowed to fit it.
constexpr QRectF kCourtFrame(14.5, 6.5, 31, 69);
constexpr double kCourtBoxWidth = 35;

QColor robeColour(Suit s) { return isRed(s) ? QColor(196, 28, 36) : kBlue; }
QColor robeAccent(Suit s) { return isRed(s) ? kBlue : QColor(196, 28, 36); }

void paintCrown(QPainter &p, double cx, double top, bool king)
{
    QPainterPath crown;
    if (king) {
        crown.moveTo(cx - 6, top + 7);
        crown.lineTo(cx - 6.5, top + 1);
        crown.lineTo(cx - 3.2, top + 4);
        crown.lineTo(cx, top);
        crown.lineTo(cx + 3.2, top + 4);
        crown.lineTo(cx + 6.5, top + 1);
        crown.lineTo(cx + 6, top + 7);
    } else {
        crown.moveTo(cx - 5, top + 7);
        crown.lineTo(cx - 5, top + 3);
        crown.quadTo(cx - 2.5, top + 4.5, cx, top + 1);
        crown.quadTo(cx + 2.5, top + 4.5, cx + 5, top + 3);
        crown.lineTo(cx + 5, top + 7);
    }
    crown.closeSubpath();
    p.setPen(QPen(kOutline, 0.6));
    p.setBrush(kGold);
    p.drawPath(crown);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(cx, top + 5), 1.1, 1.1);
    if (king) {
        p.setBrush(kGold);
        p.setPen(QPen(kOutline, 0.4));
        for (double dx : {-6.5, 0.0, 6.5})
            p.drawEllipse(QPointF(cx + dx, top + (dx == 0 ? 0 : 1)), 1.0, 1.0);
    }
}

// One half of a court card, in a local box of 35 × 34.5 with the figure
// standing upright; the caller turns it round for the lower half.
void paintCourtHalf(QPainter &p, Suit s, int rank)
{
    const double cx = 17.5;
    const double headY = 14.5;
    const QColor robe = robeColour(s);
    const QColor accent = robeAccent(s);

    // Shoulders and robe.
    QPainterPath body;
    body.moveTo(3, 34.5);
    body.lineTo(5, 24);
    body.quadTo(cx, 18, 30, 24);
    body.lineTo(32, 34.5);
    body.closeSubpath();
    p.setPen(QPen(kOutline, 0.6));
    p.setBrush(robe);
    p.drawPath(body);
    // A gold sash across the chest and a band of the accent colour.
    p.setPen(Qt::NoPen);
    p.setBrush(kGold);
    QPainterPath sash;
    sash.moveTo(8, 22.5);
    sash.lineTo(11, 21.5);
    sash.lineTo(27, 34.5);
    sash.lineTo(23, 34.5);
    sash.closeSubpath();
    p.drawPath(sash);
    p.setBrush(accent);
    p.drawRect(QRectF(5.5, 29.5, 24, 2.2));

    // Hair behind the face: the queen's falls to the shoulders.
    if (rank == 12) {
        p.setBrush(QColor(226, 170, 52));
        p.setPen(QPen(kOutline, 0.4));
        QPainterPath hair;
        hair.moveTo(cx - 6.5, headY - 2);
        hair.quadTo(cx - 9, headY + 6, cx - 5.5, headY + 9);
        hair.lineTo(cx + 5.5, headY + 9);
        hair.quadTo(cx + 9, headY + 6, cx + 6.5, headY - 2);
        hair.closeSubpath();
        p.drawPath(hair);
    }

    // Face.
    p.setPen(QPen(kOutline, 0.6));
    p.setBrush(kSkin);
    p.drawEllipse(QPointF(cx, headY), 5.6, 6.2);
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(cx - 1.9, headY - 0.6), 0.7, 0.7);
    p.drawEllipse(QPointF(cx + 1.9, headY - 0.6), 0.7, 0.7);
    p.setBrush(QColor(200, 60, 60));
    p.drawEllipse(QPointF(cx, headY + 2.8), 1.2, 0.55);

    switch (rank) {
    case 13: {
        // The king: a full beard, a crown with three points and a sword.
        QPainterPath beard;
        beard.moveTo(cx - 4.8, headY + 1);
        beard.quadTo(cx - 4.5, headY + 8.5, cx, headY + 9.5);
        beard.quadTo(cx + 4.5, headY + 8.5, cx + 4.8, headY + 1);
        beard.quadTo(cx, headY + 4.2, cx - 4.8, headY + 1);
        p.setPen(QPen(kOutline, 0.4));
        p.setBrush(QColor(236, 236, 236));
        p.drawPath(beard);
        paintCrown(p, cx, headY - 13, true);
        p.setPen(QPen(QColor(120, 120, 130), 1.4, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(29, 5), QPointF(29, 30));
        p.setPen(QPen(kGold, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(26, 24), QPointF(32, 24));
        break;
    }
    case 12: {
        // The queen: a rounded crown and a flower held up.
        paintCrown(p, cx, headY - 12, false);
        p.setPen(QPen(QColor(40, 130, 50), 0.9));
        p.drawLine(QPointF(6.5, 30), QPointF(6.5, 19));
        p.setPen(QPen(kOutline, 0.4));
        p.setBrush(isRed(s) ? kGold : kRed);
        for (int k = 0; k < 5; ++k) {
            const double a = k * 2 * M_PI / 5;
            p.drawEllipse(QPointF(6.5 + 1.9 * std::sin(a), 17 - 1.9 * std::cos(a)), 1.3, 1.3);
        }
        p.setBrush(kGold);
        p.drawEllipse(QPointF(6.5, 17), 1.0, 1.0);
        break;
    }
    default: {
        // The jack: a feathered cap and a halberd.
        QPainterPath cap;
        cap.moveTo(cx - 6.5, headY - 3);
        cap.quadTo(cx - 2, headY - 10, cx + 6.5, headY - 4);
        cap.quadTo(cx, headY - 4.6, cx - 6.5, headY - 3);
        p.setPen(QPen(kOutline, 0.5));
        p.setBrush(accent);
        p.drawPath(cap);
        p.setPen(QPen(QColor(250, 250, 250), 1.1, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath feather;
        feather.moveTo(cx + 3, headY - 6.5);
        feather.quadTo(cx + 9, headY - 11, cx + 12, headY - 7);
        p.drawPath(feather);
        p.setPen(QPen(QColor(130, 90, 50), 1.1));
        p.drawLine(QPointF(6, 4), QPointF(6, 31));
        p.setPen(QPen(kOutline, 0.4));
        p.setBrush(QColor(190, 195, 205));
        QPainterPath blade;
        blade.moveTo(6, 3);
        blade.lineTo(9.5, 6.5);
        blade.lineTo(6, 9);
        blade.lineTo(2.8, 6.5);
        blade.closeSubpath();
        p.drawPath(blade);
        break;
    }
    }
}

void paintCourt(QPainter &p, Suit s, int rank, QPointF origin)
{
    const QRectF frame = kCourtFrame.translated(origin);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 248, 228));
    p.drawRect(frame);

    const double halfHeight = frame.height() / 2;
    for (int half = 0; half < 2; ++half) {
        p.save();
        p.setClipRect(QRectF(frame.left(), frame.top() + half * halfHeight, frame.width(), halfHeight));
        if (half == 0) {
            p.translate(frame.topLeft());
        } else {
            p.translate(frame.bottomRight());
            p.rotate(180);
        }
        p.scale(frame.width() / kCourtBoxWidth, 1);
        paintCourtHalf(p, s, rank);
        paintPip(p, s, QPointF(29.5, 4.5), 6.5);
        p.restore();
    }
    p.setPen(QPen(kGold, 0.8));
    p.drawLine(QPointF(frame.left(), frame.center().y()), QPointF(frame.right(), frame.center().y()));
    p.setPen(QPen(suitInk(s), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
}

void paintBack(QPainter &p, QPointF origin)
{
    const QRectF field = QRectF(4, 4, 52, 74).translated(origin);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(28, 58, 150));
    p.drawRoundedRect(field, 2.5, 2.5);

    // A lattice of light lines with dots at the crossings, clipped to the
    // inner field so the border stays clean.
    p.save();
    p.setClipRect(field.adjusted(2.5, 2.5, -2.5, -2.5));
    p.setPen(QPen(QColor(96, 132, 222), 0.8));
    const double step = 6.5;
    for (double d = -field.height(); d < field.width() + field.height(); d += step) {
        p.drawLine(QPointF(field.left() + d, field.top()), QPointF(field.left() + d - field.height(), field.bottom()));
        p.drawLine(QPointF(field.left() + d - field.height(), field.top()), QPointF(field.left() + d, field.bottom()));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 210, 250));
    for (double y = field.top(); y <= field.bottom() + step; y += step / 2) {
        const int rowIndex = static_cast<int>(std::lround((y - field.top()) / (step / 2)));
        const double shift = (rowIndex % 2) ? step / 2 : 0;
        for (double x = field.left() + shift; x <= field.right() + step; x += step)
            p.drawEllipse(QPointF(x, y), 0.75, 0.75);
    }
    p.restore();

    p.setPen(QPen(QColor(255, 255, 255), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(field.adjusted(2, 2, -2, -2), 1.5, 1.5);

    // Centre medallion: a white-rimmed oval with a gold four-point star.
    const QPointF c = field.center();
    p.setPen(QPen(QColor(255, 255, 255), 1.2));
    p.setBrush(QColor(20, 40, 110));
    p.drawEllipse(c, 12, 15);
    QPainterPath star;
    for (int k = 0; k < 8; ++k) {
        const double a = k * M_PI / 4;
        const double r = (k % 2 == 0) ? 10.5 : 3.2;
        const QPointF pt(c.x() + r * std::sin(a) * 0.85, c.y() - r * std::cos(a));
        if (k == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(QColor(120, 80, 10), 0.5));
    p.setBrush(kGold);
    p.drawPath(star);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(c, 1.6, 1.6);
}

} // namespace

void paintCard(QPainter &p, int code, double x, double y)
{
    const QPointF origin(x, y);
    const QRectF card(origin, QSizeF(kCardWidth, kCardHeight));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(card);
    if (code == 0) {
        paintBack(p, origin);
    } else {
        const Suit suit = static_cast<Suit>((code - 1) / 13);
        const int rank = (code - 1) % 13 + 1;
        if (rank == 1)
            paintAce(p, suit, origin);
        else if (rank <= 10)
            paintPips(p, suit, rank, origin);
        else
            paintCourt(p, suit, rank, origin);
        paintIndex(p, suit, rank, origin);
    }
    // A grey edge one device pixel wide, so it stays crisp at every scale.
    const double t = 1.0 / p.worldTransform().m11();
    p.setPen(Qt::NoPen);
    p.setBrush(kCardEdge);
    p.drawRect(QRectF(card.left(), card.top(), card.width(), t));
    p.drawRect(QRectF(card.left(), card.bottom() - t, card.width(), t));
    p.drawRect(QRectF(card.left(), card.top(), t, card.height()));
    p.drawRect(QRectF(card.right() - t, card.top(), t, card.height()));
    p.restore();
}

QImage drawCardStrip(int scale)
{
    const int rows = (kCardCount + kCardsPerRow - 1) / kCardsPerRow;
    QImage strip(kCardWidth * kCardsPerRow * scale, kCardHeight * rows * scale, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    {
        QPainter p(&strip);
        p.scale(scale, scale);
        for (int i = 0; i < kCardCount; ++i)
            paintCard(p, i, (i % kCardsPerRow) * kCardWidth, (i / kCardsPerRow) * kCardHeight);
    }
    // The mask: every pixel opaque except the four corners of each card.
    for (int y = 0; y < strip.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            const int cx = (x / scale) % kCardWidth;
            const int cy = (y / scale) % kCardHeight;
            const bool corner = (cx == 0 || cx == kCardWidth - 1) && (cy == 0 || cy == kCardHeight - 1);
            const bool used = (y / scale / kCardHeight) * kCardsPerRow + (x / scale / kCardWidth) < kCardCount;
            line[x] = (corner || !used) ? 0u : (line[x] | 0xff000000u);
        }
    }
    return strip;
}

} // namespace peggen
