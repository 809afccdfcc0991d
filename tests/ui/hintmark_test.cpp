// The hint's mark on the dark cross-hatch of an empty cell: seen at a
// glance at one and two device pixels per unit and on a scaled board.
#include "hatchshape.h"
#include "hintmark.h"
#include "scaledlayout.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

double meanLightness(const QImage &image, const QRect &area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += image.pixelColor(x, y).lightness();
    return sum / (area.width() * area.height());
}

TEST(HintMark, StandsOutOnTheHatchAtEveryDensityAndScale)
{
    struct Row {
        const char *name;
        qreal devicePixelRatio;
        qreal boardFactor;
    };
    const Row rows[] = {{"1x", 1, 1}, {"2x screen", 2, 1}, {"board at factor 2", 1, 2}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        // Two empty cells as the board places them, on the parchment.
        QWidget board;
        board.resize(150, 100);
        board.setStyleSheet(QStringLiteral("background: rgb(210, 197, 132)"));
        board.setAutoFillBackground(true);
        auto *marked = new HatchShape(&board, QStringLiteral("Shape1"), QRect(8, 8, 57, 80));
        auto *plain = new HatchShape(&board, QStringLiteral("Shape2"), QRect(72, 8, 57, 80));
        auto *mark = new HintMark(&board);
        ScaledLayout layout(&board);
        layout.apply(row.boardFactor);
        mark->markCell(marked->geometry());

        const qreal d = row.devicePixelRatio;
        QPixmap canvas(board.size() * d);
        canvas.setDevicePixelRatio(d);
        board.render(&canvas);
        const QImage shot = canvas.toImage().convertToFormat(QImage::Format_RGB32);
        auto device = [d](const QRect &r) {
            return QRect(qRound(r.x() * d), qRound(r.y() * d), qRound(r.width() * d), qRound(r.height() * d));
        };
        // The advised cell reads much lighter than an empty one beside it.
        const QRect inside = marked->geometry().adjusted(4, 4, -4, -4);
        const QRect besideInside = plain->geometry().adjusted(4, 4, -4, -4);
        EXPECT_GT(meanLightness(shot, device(inside)), meanLightness(shot, device(besideInside)) + 40);
        // The ring in the gap: a gold band against the hatch, edged dark
        // against the parchment, all round the cell.
        const QRect cell = marked->geometry();
        const int scale = qRound(row.boardFactor);
        const int bandAt = HintMark::kEdgeWidth * scale + 1;  // one pixel into the band
        const QPoint bandPoints[] = {{cell.left() - bandAt, cell.center().y()},
                                     {cell.right() + bandAt, cell.center().y()},
                                     {cell.center().x(), cell.top() - bandAt},
                                     {cell.center().x(), cell.bottom() + bandAt}};
        for (const QPoint &p : bandPoints)
            EXPECT_EQ(shot.pixelColor(device(QRect(p, QSize(1, 1))).topLeft()), HintMark::bandColour())
                << p.x() << "," << p.y();
        const QRect ring = mark->geometry();
        EXPECT_EQ(shot.pixelColor(device(QRect(ring.topLeft(), QSize(1, 1))).topLeft()), HintMark::edgeColour());
        EXPECT_EQ(ring, cell.adjusted(-HintMark::kRingWidth * scale, -HintMark::kRingWidth * scale,
                                      HintMark::kRingWidth * scale, HintMark::kRingWidth * scale));
    }
}

} // namespace
