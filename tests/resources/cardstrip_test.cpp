// The card strip: geometry, mask, order of suits and ranks, and the 2×
// drawing path of the card image list.
#include "cardimagelist.h"
#include "gameresources.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kW = CardImageList::kWidth;
constexpr int kH = CardImageList::kHeight;

QRect cell(int index, int scale)
{
    return QRect((index % 4) * kW * scale, (index / 4) * kH * scale, kW * scale, kH * scale);
}

bool isRedInk(QRgb p) { return qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100; }
bool isBlackInk(QRgb p) { return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 90; }

class StripAtScale : public ::testing::TestWithParam<int> {};

TEST_P(StripAtScale, HasTheListLayoutSize)
{
    const int s = GetParam();
    const QImage strip = gameresources::cardStrip(s);
    EXPECT_EQ(strip.size(), QSize(240 * s, 1148 * s));
    EXPECT_TRUE(strip.hasAlphaChannel());
}

// The mask is one bit: in every one of the 53 pictures exactly the four
// corner pixels (s × s blocks at scale s) are transparent, all else opaque.
TEST_P(StripAtScale, MaskIsExactlyTheFourCorners)
{
    const int s = GetParam();
    const QImage strip = gameresources::cardStrip(s);
    for (int i = 0; i < CardImageList::kCount; ++i) {
        const QRect r = cell(i, s);
        int wrong = 0;
        QPoint first(-1, -1);
        for (int y = 0; y < r.height(); ++y) {
            for (int x = 0; x < r.width(); ++x) {
                const bool cornerX = x < s || x >= r.width() - s;
                const bool cornerY = y < s || y >= r.height() - s;
                const int alpha = qAlpha(strip.pixel(r.left() + x, r.top() + y));
                const int expected = (cornerX && cornerY) ? 0 : 255;
                if (alpha != expected && wrong++ == 0)
                    first = QPoint(x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << "picture " << i << " first wrong mask pixel at " << first.x() << "," << first.y();
    }
}

struct CornerCase {
    int code;
    bool red;
};

class CornerInk : public ::testing::TestWithParam<std::tuple<int, CornerCase>> {};

// Both corner indices carry the suit's colour and something is written in
// them: red for diamonds and hearts, black for clubs and spades.
TEST_P(CornerInk, CornersShowTheSuitColour)
{
    const auto [s, c] = GetParam();
    const QImage strip = gameresources::cardStrip(s);
    const QRect r = cell(c.code, s);
    const QRect corners[2] = {QRect(r.left() + s, r.top() + s, 14 * s, 27 * s),
                              QRect(r.right() + 1 - 15 * s, r.bottom() + 1 - 28 * s, 14 * s, 27 * s)};
    for (const QRect &corner : corners) {
        int red = 0, black = 0;
        for (int y = corner.top(); y <= corner.bottom(); ++y)
            for (int x = corner.left(); x <= corner.right(); ++x) {
                red += isRedInk(strip.pixel(x, y));
                black += isBlackInk(strip.pixel(x, y));
            }
        const int ink = c.red ? red : black;
        const int other = c.red ? black : red;
        EXPECT_GT(ink, 25 * s * s) << "code " << c.code << " corner blank or wrong colour";
        EXPECT_LT(other, 3 * s * s) << "code " << c.code << " corner has the other colour";
    }
}

INSTANTIATE_TEST_SUITE_P(Cards, CornerInk,
                         ::testing::Combine(::testing::Values(1, 2, 4),
                                            ::testing::Values(CornerCase{1, false},    // ace of clubs
                                                              CornerCase{10, false},   // 10 of clubs
                                                              CornerCase{14, true},    // ace of diamonds
                                                              CornerCase{24, true},    // jack of diamonds
                                                              CornerCase{32, true},    // 6 of hearts
                                                              CornerCase{39, true},    // king of hearts
                                                              CornerCase{40, false},   // ace of spades
                                                              CornerCase{51, false})));  // queen of spades

INSTANTIATE_TEST_SUITE_P(Scales, StripAtScale, ::testing::Values(1, 2, 4));

// Counts separate blobs of suit ink in the middle of a card, ignoring the
// corner indices: the pips of a numbered card.
int countPips(const QImage &strip, int code, int scale)
{
    const QRect r = cell(code, scale);
    const QRect field(r.left() + 15 * scale, r.top() + 6 * scale, 30 * scale, 70 * scale);
    const bool red = code >= 14 && code <= 39;
    std::vector<char> ink(std::size_t(field.width() * field.height()), 0);
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x) {
            const QRgb p = strip.pixel(field.left() + x, field.top() + y);
            ink[std::size_t(y * field.width() + x)] = red ? isRedInk(p) : isBlackInk(p);
        }
    int blobs = 0;
    std::vector<int> stack;
    for (int start = 0; start < int(ink.size()); ++start) {
        if (!ink[std::size_t(start)])
            continue;
        int size = 0;
        stack.push_back(start);
        ink[std::size_t(start)] = 0;
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            ++size;
            const int x = at % field.width(), y = at / field.width();
            const int next[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
            for (const auto &n : next) {
                if (n[0] < 0 || n[1] < 0 || n[0] >= field.width() || n[1] >= field.height())
                    continue;
                const std::size_t k = std::size_t(n[1] * field.width() + n[0]);
                if (ink[k]) {
                    ink[k] = 0;
                    stack.push_back(int(k));
                }
            }
        }
        if (size >= 12 * scale * scale)
            ++blobs;
    }
    return blobs;
}

// Ace to 10 of every suit show as many pips as their rank, which pins
// down the order of the strip: suit blocks of 13, ranks ace first.
TEST(CardStrip, NumberedCardsShowTheirPipCount)
{
    const QImage strip = gameresources::cardStrip(2);
    for (int suit = 0; suit < 4; ++suit)
        for (int rank = 1; rank <= 10; ++rank) {
            const int code = suit * 13 + rank;
            EXPECT_EQ(countPips(strip, code, 2), rank) << "code " << code;
        }
}

// Every picture differs from every other, and the back is mostly blue.
TEST(CardStrip, PicturesAreDistinctAndBackIsBlue)
{
    const CardImageList list;
    std::vector<QImage> images;
    for (int i = 0; i < CardImageList::kCount; ++i) {
        images.push_back(list.image(i));
        ASSERT_EQ(images.back().size(), QSize(kW, kH));
        for (int j = 0; j < i; ++j)
            EXPECT_NE(images[std::size_t(j)], images.back()) << "pictures " << j << " and " << i;
    }
    int blue = 0;
    for (int y = 10; y < 72; ++y)
        for (int x = 10; x < 50; ++x) {
            const QRgb p = images[0].pixel(x, y);
            blue += qBlue(p) > qRed(p) + 40;
        }
    EXPECT_GT(blue, 40 * 62 / 2);
    EXPECT_TRUE(list.image(-1).isNull());
    EXPECT_TRUE(list.image(53).isNull());
}

// Drawing onto a surface of device pixel ratio 2 takes the 2× pictures
// pixel for pixel, not the 1× ones enlarged, and ratio 4 the 4× ones;
// ratio 1 takes the 1× ones.
TEST(CardImageList, DrawsFromTheStripMatchingTheSurface)
{
    const CardImageList list;
    for (int ratio : {1, 2, 4}) {
        QImage canvas(kW * ratio, kH * ratio, QImage::Format_ARGB32);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        {
            QPainter p(&canvas);
            list.draw(p, QPoint(0, 0), 37);
        }
        const QImage expected = gameresources::cardStrip(ratio).copy(cell(37, ratio));
        canvas.setDevicePixelRatio(1);
        EXPECT_EQ(canvas.convertToFormat(QImage::Format_ARGB32), expected) << "ratio " << ratio;
    }
    // Corners stay unpainted through the mask.
    QImage canvas(kW, kH, QImage::Format_ARGB32);
    canvas.fill(qRgba(1, 2, 3, 255));
    {
        QPainter p(&canvas);
        list.draw(p, QPoint(0, 0), 5);
    }
    EXPECT_EQ(canvas.pixel(0, 0), qRgba(1, 2, 3, 255));
    EXPECT_EQ(canvas.pixel(kW - 1, kH - 1), qRgba(1, 2, 3, 255));
    EXPECT_NE(canvas.pixel(1, 1), qRgba(1, 2, 3, 255));
}

} // namespace
