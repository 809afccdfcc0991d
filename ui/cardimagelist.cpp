#include "cardimagelist.h"

#include "gameresources.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QRect cellRect(int index, int scale = 1)
{
    return QRect((index % CardImageList::kPerRow) * CardImageList::kWidth * scale,
                 (index / CardImageList::kPerRow) * CardImageList::kHeight * scale,
                 CardImageList::kWidth * scale, CardImageList::kHeight * scale);
}

// Device pixels per logical pixel where `painter` draws: the surface's
// ratio times any scaling of the painter itself.
qreal pixelDensity(const QPainter &painter)
{
    const qreal surface = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QTransform &t = painter.worldTransform();
    return surface * std::max(std::abs(t.m11()), std::abs(t.m22()));
}

} // namespace

CardImageList::CardImageList()
    : CardImageList(gameresources::cardStrip(1), gameresources::cardStrip(2), gameresources::cardStrip(4))
{
}

CardImageList::CardImageList(QImage strip, QImage denseStrip, QImage denserStrip)
    : m_strip(std::move(strip))
    , m_denseStrip(std::move(denseStrip))
    , m_denserStrip(std::move(denserStrip))
{
}

QImage CardImageList::image(int index) const
{
    if (index < 0 || index >= kCount)
        return QImage();
    return m_strip.copy(cellRect(index));
}

void CardImageList::draw(QPainter &painter, const QPoint &topLeft, int index) const
{
    if (index < 0 || index >= kCount)
        return;
    const QRect target(topLeft, QSize(kWidth, kHeight));
    const qreal density = pixelDensity(painter);
    if (!m_denserStrip.isNull() && density > 2.0)
        painter.drawImage(target, m_denserStrip, cellRect(index, 4));
    else if (!m_denseStrip.isNull() && density > 1.0)
        painter.drawImage(target, m_denseStrip, cellRect(index, 2));
    else
        painter.drawImage(target, m_strip, cellRect(index));
}
