// The pictures other than the cards: sizes at both scales, the button
// look, the tile, the icon and the advert JPEG.
#include "cribbagetrack.h"
#include "gameresources.h"
#include "picturebutton.h"

#include <QIcon>
#include <QSet>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cmath>

namespace {

using gameresources::Picture;

struct PictureCase {
    const char *name;
    Picture which;
    QSize size;
};

// Test listings show the row's name rather than its bytes.
void PrintTo(const PictureCase &row, std::ostream *out)
{
    *out << row.name;
}

class Pictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(Pictures, HaveTheirSizeAtEveryRatio)
{
    const PictureCase &c = GetParam();
    EXPECT_EQ(gameresources::pictureSize(c.which), c.size);
    for (qreal ratio : {1.0, 1.5, 2.0, 3.0, 4.0}) {
        const QPixmap p = gameresources::picture(c.which, ratio);
        ASSERT_FALSE(p.isNull()) << c.name << " at " << ratio;
        EXPECT_EQ(p.deviceIndependentSize().toSize(), c.size) << c.name << " at " << ratio;
        EXPECT_EQ(p.size(), (QSizeF(c.size) * ratio).toSize()) << c.name << " at " << ratio;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, Pictures,
    ::testing::Values(PictureCase{"maker", Picture::MakerStrip, QSize(287, 18)},
                      PictureCase{"cribbage main", Picture::CribbageMain, QSize(110, 329)},
                      PictureCase{"cribbage scores", Picture::CribbageHighScores, QSize(97, 322)},
                      PictureCase{"tile", Picture::Tile, QSize(100, 100)},
                      PictureCase{"title", Picture::AboutTitle, QSize(270, 80)},
                      PictureCase{"icon", Picture::Icon, QSize(32, 32)}),
    [](const auto &row) {
        std::string n = row.param.name;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

struct ButtonCase {
    const char *label;
    int width;
};

class Buttons : public ::testing::TestWithParam<ButtonCase> {};

// Each button has its size and a dark red face with a light label: the
// face dominates, and light pixels are present in the middle band.
TEST_P(Buttons, AreDarkRedWithALightLabel)
{
    const ButtonCase &c = GetParam();
    const QString label = QString::fromLatin1(c.label);
    EXPECT_EQ(gameresources::buttonSize(label), QSize(c.width, 40));
    for (qreal ratio : {1.0, 2.0}) {
        const QImage img = gameresources::buttonPicture(label, ratio).toImage();
        ASSERT_EQ(img.size(), QSize(c.width, 40) * ratio) << c.label;
        int darkRed = 0, light = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                darkRed += qRed(p) > 60 && qRed(p) < 200 && qGreen(p) < 50 && qBlue(p) < 50;
                light += qRed(p) > 220 && qGreen(p) > 200 && qBlue(p) > 170;
            }
        const int area = img.width() * img.height();
        EXPECT_GT(darkRed, area * 6 / 10) << c.label;
        EXPECT_GT(light, area / 80) << c.label;
    }
    // The toolkit layer hands out the same picture.
    EXPECT_EQ(buttonPicture(QSize(c.width, 40), label, 1.0).toImage(),
              gameresources::buttonPicture(label, 1.0).toImage());
}

INSTANTIATE_TEST_SUITE_P(All, Buttons,
                         ::testing::Values(ButtonCase{"Start Game", 126}, ButtonCase{"High Scores", 126},
                                           ButtonCase{"SEND SCORE", 160}, ButtonCase{"Close", 126},
                                           ButtonCase{"Continue", 126}, ButtonCase{"Done", 126},
                                           ButtonCase{"Cancel", 126}, ButtonCase{"Reset Tally", 126}));

TEST(Buttons, UnknownLabelsHaveNoStoredPicture)
{
    for (const char *label : {"", "start game", "Send Score", "OK"}) {
        EXPECT_TRUE(gameresources::buttonPicture(QString::fromLatin1(label)).isNull()) << label;
        EXPECT_FALSE(gameresources::buttonSize(QString::fromLatin1(label)).isValid()) << label;
    }
    // The toolkit layer still draws something for them.
    EXPECT_EQ(buttonPicture(QSize(126, 40), QStringLiteral("OK")).size(), QSize(126, 40));
}

// The tile is a light 24-bit picture close to the window colour, and
// its opposite edges match so tiles meet without a visible seam.
TEST(Tile, IsLightTwentyFourBitAndSeamless)
{
    const QImage tile = gameresources::tileImage();
    ASSERT_EQ(tile.size(), QSize(100, 100));
    EXPECT_EQ(tile.format(), QImage::Format_RGB888);
    double r = 0, g = 0, b = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const QRgb p = tile.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
    EXPECT_NEAR(r / 10000, 210, 8);
    EXPECT_NEAR(g / 10000, 197, 8);
    EXPECT_NEAR(b / 10000, 132, 8);

    auto edgeStep = [&](int xa, int ya, int xb, int yb) {
        double sum = 0;
        for (int k = 0; k < 100; ++k) {
            const QRgb a = tile.pixel(xa >= 0 ? xa : k, ya >= 0 ? ya : k);
            const QRgb c = tile.pixel(xb >= 0 ? xb : k, yb >= 0 ? yb : k);
            sum += std::abs(qGreen(a) - qGreen(c));
        }
        return sum / 100;
    };
    const double inside = edgeStep(49, -1, 50, -1);
    EXPECT_LT(edgeStep(99, -1, 0, -1), inside + 3);  // right edge against the next tile's left
    EXPECT_LT(edgeStep(-1, 99, -1, 0), inside + 3);  // bottom edge against the next tile's top
}

TEST(Icon, HasAtMost256ColoursAndBothSizes)
{
    const QImage icon = gameresources::picture(Picture::Icon).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            colours.insert(icon.pixel(x, y));
    EXPECT_LE(colours.size(), 256);
    EXPECT_GT(colours.size(), 4);
    const QList<QSize> sizes = gameresources::programIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(64, 64)));
}

// Finds the start-of-frame marker of a JPEG file: baseline is 0xC0.
int frameMarker(const QByteArray &jpeg, int *components)
{
    for (int i = 2; i + 9 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xff)
            return -1;
        const int marker = uchar(jpeg[i + 1]);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            *components = uchar(jpeg[i + 9]);
            return marker;
        }
        i += 2 + length;
    }
    return -1;
}

TEST(Advert, IsABaselineThreeComponentJpegDecodedAtRunTime)
{
    const QByteArray jpeg = gameresources::advertJpeg();
    ASSERT_GT(jpeg.size(), 1000);
    EXPECT_EQ(uchar(jpeg[0]), 0xff);
    EXPECT_EQ(uchar(jpeg[1]), 0xd8);
    int components = 0;
    EXPECT_EQ(frameMarker(jpeg, &components), 0xc0);
    EXPECT_EQ(components, 3);

    const QImage advert = gameresources::advertPicture();
    ASSERT_EQ(advert.size(), QSize(389, 269));
    // The banner along the bottom is dark red, the title bar blue.
    const QRgb banner = advert.pixel(5, 262);
    EXPECT_GT(qRed(banner), 2 * qGreen(banner) + 20);
    const QRgb titleBar = advert.pixel(320, 10);
    EXPECT_GT(qBlue(titleBar), qRed(titleBar) + 40);
}

} // namespace

namespace {

// Where a peg stands for a total, on the main window's board: the row it
// is in, and whether it is the row's lowest or highest hole (or neither).
enum class End { Lowest, Highest, Between };

struct PegCase {
    const char *name;
    int total;
    cribbagetrack::Peg peg;
    int hole;  // 0: a start hole
    int row;
    End end;
};

void PrintTo(const PegCase &row, std::ostream *out)
{
    *out << row.name;
}

class PegsAtTotals : public ::testing::TestWithParam<PegCase> {};

TEST_P(PegsAtTotals, StandInTheHoleOfTheTotalOnTheLap)
{
    using namespace cribbagetrack;
    const PegCase &c = GetParam();
    const QSizeF size = gameresources::pictureSize(Picture::CribbageMain);
    EXPECT_EQ(holeForTotal(c.total), c.hole);
    const QPointF at = pegCentre(size, c.total, c.peg);
    EXPECT_DOUBLE_EQ(at.x(), rowX(size, c.row));
    double lowest = 0;
    double highest = size.height();
    for (int hole = 1; hole <= kLapHoles; ++hole) {
        if (std::abs(holeCentre(size, hole).x() - at.x()) > 0.01)
            continue;
        lowest = std::max(lowest, holeCentre(size, hole).y());
        highest = std::min(highest, holeCentre(size, hole).y());
    }
    if (c.hole == 0)
        EXPECT_GT(at.y(), lowest + 2 * kPegRadius) << "a start hole lies below the lap";
    else if (c.end == End::Lowest)
        EXPECT_DOUBLE_EQ(at.y(), lowest);
    else if (c.end == End::Highest)
        EXPECT_DOUBLE_EQ(at.y(), highest);
    else
        EXPECT_TRUE(at.y() > highest && at.y() < lowest);
    // Every total has a hole of its own drilled in the picture: dark at its
    // centre, at both resolutions.
    for (int scale : {1, 2}) {
        const QImage picture =
            gameresources::picture(Picture::CribbageMain, scale).toImage().convertToFormat(QImage::Format_RGB32);
        const QColor pixel = picture.pixelColor((at * scale).toPoint());
        EXPECT_LT(pixel.lightness(), 80) << "no hole under the peg at " << scale << "x";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lap, PegsAtTotals,
    ::testing::Values(PegCase{"front_at_start", 0, cribbagetrack::Peg::Front, 0, 0, End::Between},
                      PegCase{"back_at_start", 0, cribbagetrack::Peg::Back, 0, 1, End::Between},
                      PegCase{"first_point_bottom_of_left_outer_row", 1, cribbagetrack::Peg::Front, 1, 0, End::Lowest},
                      PegCase{"back_peg_follows_the_same_lap", 7, cribbagetrack::Peg::Back, 7, 0, End::Between},
                      PegCase{"thirty_top_of_first_row", 30, cribbagetrack::Peg::Front, 30, 0, End::Highest},
                      PegCase{"thirty_one_turns_down_the_inner_row", 31, cribbagetrack::Peg::Front, 31, 1,
                              End::Highest},
                      PegCase{"sixty_one_up_the_right_inner_row", 61, cribbagetrack::Peg::Front, 61, 2, End::Lowest},
                      PegCase{"lap_end_bottom_of_right_outer_row", 120, cribbagetrack::Peg::Front, 120, 3,
                              End::Lowest},
                      PegCase{"next_lap_starts_again", 121, cribbagetrack::Peg::Front, 1, 0, End::Lowest},
                      PegCase{"large_total_wraps", 1000, cribbagetrack::Peg::Front, 40, 1, End::Between}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(PegHoles, EveryHoleOfTheLapIsDistinctAndInsideTheBoard)
{
    for (const Picture which : {Picture::CribbageMain, Picture::CribbageHighScores}) {
        const QSizeF size = gameresources::pictureSize(which);
        const QRectF inside = cribbagetrack::boardRect(size).adjusted(4, 4, -4, -4);
        QSet<QPair<int, int>> seen;
        for (int hole = 1; hole <= cribbagetrack::kLapHoles; ++hole) {
            const QPointF at = cribbagetrack::holeCentre(size, hole);
            EXPECT_TRUE(inside.contains(at)) << "hole " << hole;
            seen.insert({qRound(at.x() * 10), qRound(at.y() * 10)});
        }
        EXPECT_EQ(seen.size(), cribbagetrack::kLapHoles);
    }
}

} // namespace
