#pragma once

#include <QRect>
#include <QWidget>

// The mark of an advised cell, made to be seen at a glance on the dark
// cross-hatch of an empty cell: a ring just outside the cell, in the gap
// between the cells (a dark maroon edge against the parchment, a bright
// gold band against the hatching), and a light gold wash over the cell
// itself, so the one advised cell reads brighter than every other empty
// one. The keyboard focus frame drawn inside the cell shows through the
// wash. The mark never takes the focus and lets every click through to
// what lies under it. Hidden until marking.
class HintMark : public QWidget {
    Q_OBJECT
public:
    // Logical pixels at factor 1, less than half the narrowest gap between
    // two cells; whole device pixels at any integer ratio.
    static constexpr int kRingWidth = 3;
    static constexpr int kEdgeWidth = 1;  // the ring's dark outer edge

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

    // The ring's colours and the wash over the cell.
    static QColor edgeColour();
    static QColor bandColour();
    static QColor washColour();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int scaled(int width) const;

    QRect m_cell;
};
