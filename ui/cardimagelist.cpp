#include "cardimagelist.h"

#include "fonts.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const char *const kRankNames[13] = {"A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"};
// Clubs, diamonds, hearts, spades.
const char16_t kSuitSymbols[4] = {u'\u2663', u'\u2666', u'\u2665', u'\u2660'};

QRect cellRect(int index)
{
    return QRect((index % CardImageList::kPerRow) * CardImageList::kWidth,
                 (index / CardImageList::kPerRow) * CardImageList::kHeight,
                 CardImageList::kWidth, CardImageList::kHeight);
}

void clearCorners(QImage &strip, const QRect &cell)
{
    strip.setPixel(cell.left(), cell.top(), 0);
    strip.setPixel(cell.right(), cell.top(), 0);
    strip.setPixel(cell.left(), cell.bottom(), 0);
    strip.setPixel(cell.right(), cell.bottom(), 0);
}

void drawBack(QPainter &p, const QRect &cell)
{
    p.fillRect(cell, Qt::white);
    const QRect inner = cell.adjusted(4, 4, -4, -4);
    p.fillRect(inner, QColor(30, 60, 150));
    p.setPen(QPen(QColor(120, 150, 220), 1));
    for (int d = -inner.height(); d < inner.width(); d += 6) {
        p.drawLine(inner.left() + d, inner.top(), inner.left() + d + inner.height(), inner.bottom());
        p.drawLine(inner.left() + d + inner.height(), inner.top(), inner.left() + d, inner.bottom());
    }
    p.setPen(QColor(0, 0, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
}

void drawFace(QPainter &p, const QRect &cell, int code)
{
    const int suit = (code - 1) / 13;
    const int rank = (code - 1) % 13;
    const QColor ink = (suit == 1 || suit == 2) ? QColor(200, 0, 0) : QColor(0, 0, 0);
    p.fillRect(cell, Qt::white);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(cell.adjusted(0, 0, -1, -1));

    p.setFont(pegfonts::sans(13, true));
    p.setPen(ink);
    const QString rankText = QString::fromLatin1(kRankNames[rank]);
    const QString suitText = QString(QChar(kSuitSymbols[suit]));
    p.drawText(QRect(cell.left() + 3, cell.top() + 2, 20, 14), Qt::AlignHCenter | Qt::AlignTop, rankText);
    p.drawText(QRect(cell.left() + 3, cell.top() + 15, 20, 14), Qt::AlignHCenter | Qt::AlignTop, suitText);

    p.setFont(pegfonts::sans(30));
    p.drawText(cell.adjusted(8, 16, -4, -4), Qt::AlignCenter, suitText);
}

} // namespace

CardImageList::CardImageList()
    : CardImageList(drawPlainStrip())
{
}

CardImageList::CardImageList(QImage strip)
    : m_strip(std::move(strip))
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
    painter.drawImage(QRect(topLeft, QSize(kWidth, kHeight)), m_strip, cellRect(index));
}

QImage CardImageList::drawPlainStrip()
{
    QImage strip(kWidth * kPerRow, kHeight * ((kCount + kPerRow - 1) / kPerRow), QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    {
        QPainter p(&strip);
        for (int i = 0; i < kCount; ++i) {
            if (i == 0)
                drawBack(p, cellRect(i));
            else
                drawFace(p, cellRect(i), i);
        }
    }
    for (int i = 0; i < kCount; ++i)
        clearCorners(strip, cellRect(i));
    return strip;
}
