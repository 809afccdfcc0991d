#include "hatchshape.h"

#include "scaledlayout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Qt's hatch patterns repeat every eight device pixels whatever the
// painter's scale, so a scaled cell gets the pattern's tile enlarged as a
// texture instead.
QBrush scaledHatch(qreal scale, qreal devicePixelRatio)
{
    constexpr int kTile = 8;
    QImage tile(kTile, kTile, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    {
        QPainter p(&tile);
        p.fillRect(tile.rect(), QBrush(Qt::black, Qt::DiagCrossPattern));
    }
    const int size = std::max(kTile, int(std::lround(kTile * scale * devicePixelRatio)));
    QImage scaled = tile.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    scaled.setDevicePixelRatio(devicePixelRatio);
    return QBrush(scaled);
}

} // namespace

HatchShape::HatchShape(QWidget *parent, const QString &name, const QRect &geometry)
    : QWidget(parent)
{
    setObjectName(name);
    setGeometry(geometry);
    setAttribute(Qt::WA_TranslucentBackground);
}

void HatchShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    const qreal scale = layoutScale(this);
    painter.setBrush(scale == 1.0 ? QBrush(Qt::black, Qt::DiagCrossPattern) : scaledHatch(scale, devicePixelRatioF()));
    painter.drawRect(rect());
    painter.setBrush(Qt::NoBrush);
    const int line = std::max(1, int(std::lround(scale)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const int w = width();
    const int h = height();
    painter.drawRect(0, 0, w, line);
    painter.drawRect(0, h - line, w, line);
    painter.drawRect(0, 0, line, h);
    painter.drawRect(w - line, 0, line, h);
}
