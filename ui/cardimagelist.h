#pragma once

#include <QImage>

class QPainter;
class QPoint;

// The image list of card pictures: 53 images of 60 × 82 (index = card
// code, 0 = the card back) kept in one strip of 4 images per row, image i
// at column i mod 4 and row i div 4. Transparent pixels form the mask.
// Beside the strip it may hold the same layout drawn at twice and at four
// times the resolution, used when drawing onto a dense surface (more than
// one, or more than two, device pixels per logical pixel).
class CardImageList {
public:
    static constexpr int kWidth = 60;
    static constexpr int kHeight = 82;
    static constexpr int kCount = 53;
    static constexpr int kPerRow = 4;

    // The program's card pictures, at 1×, 2× and 4×.
    CardImageList();
    // `strip` alone (240 × 1148), optionally with its 2× drawing (480 × 2296)
    // and its 4× drawing (960 × 4592).
    explicit CardImageList(QImage strip, QImage denseStrip = QImage(), QImage denserStrip = QImage());

    int count() const { return kCount; }
    const QImage &strip() const { return m_strip; }

    // Image `index` cut from the strip; a null image for an index outside
    // 0 … 52.
    QImage image(int index) const;

    const QImage &denseStrip() const { return m_denseStrip; }

    // Draws image `index` in the 60 × 82 logical pixels at `topLeft`
    // through its mask, from the 2× strip when the painter's surface has
    // more than one device pixel per logical pixel and a 2× strip is held,
    // from the 4× strip above two when one is held. Out-of-range indices
    // draw nothing.
    void draw(QPainter &painter, const QPoint &topLeft, int index) const;

private:
    QImage m_strip;
    QImage m_denseStrip;
    QImage m_denserStrip;
};
