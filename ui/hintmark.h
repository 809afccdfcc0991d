#pragma once

#include <QRect>
#include <QWidget>

// The mark of an advised cell: a maroon ring drawn just outside the cell,
// in the gap between the cells, so it covers neither a card picture nor the
// keyboard focus frame drawn inside the cell. It never takes the focus and
// lets every click through to what lies under it. Hidden until marking.
class HintMark : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRingWidth = 2;  // logical pixels at factor 1; whole device pixels at any integer ratio

    // `parent` is the widget that holds the cells.
    explicit HintMark(QWidget *parent);

    // Shows the ring round `cell`, given in the parent's coordinates, as
    // wide as the mark's layoutScale() makes it; a new scale needs the
    // cell marked again.
    void markCell(const QRect &cell);
    // Hides the ring; markedCell() is then empty.
    void dismiss();
    // The cell the ring surrounds; empty while hidden.
    QRect markedCell() const { return isHidden() ? QRect() : m_cell; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int ringWidth() const;

    QRect m_cell;
};
