#pragma once

#include <QImage>

class QPainter;
class QPoint;

// The image list of card pictures: 53 images of 60 × 82 (index = card
// code, 0 = the card back) kept in one strip of 4 images per row, image i
// at column i mod 4 and row i div 4. Transparent pixels form the mask.
class CardImageList {
public:
    static constexpr int kWidth = 60;
    static constexpr int kHeight = 82;
    static constexpr int kCount = 53;
    static constexpr int kPerRow = 4;

    CardImageList();
    explicit CardImageList(QImage strip);

    int count() const { return kCount; }
    const QImage &strip() const { return m_strip; }

    // Image `index` cut from the strip; a null image for an index outside
    // 0 … 52.
    QImage image(int index) const;

    // Draws image `index` at `topLeft` through its mask. Out-of-range
    // indices draw nothing.
    void draw(QPainter &painter, const QPoint &topLeft, int index) const;

    // A plain, legible set of pictures drawn at run time.
    static QImage drawPlainStrip();

private:
    QImage m_strip;
};
