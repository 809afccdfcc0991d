#pragma once

#include "imagecontrol.h"

#include <QPointF>
#include <QSize>

// The CRIBBAGE board beside the grid with the player's two pegs in it: the
// front peg at the running total, the back peg at the total before the
// last points were pegged, both in the start holes for a new game. The
// pegs are drawn over the board picture in the holes the picture's
// generator drilled (see cribbagetrack.h); a control larger than the
// picture's own size shows picture and pegs enlarged alike.
class PegBoard : public ImageControl {
    Q_OBJECT
public:
    // `pictureSize`: the board picture's own size in logical pixels, the
    // size its holes are laid out for.
    PegBoard(QWidget *parent, const QString &name, const QRect &geometry, const QSize &pictureSize);

    // Pegs `total`: the back peg leaps to where the front peg stood and the
    // front peg goes to `total`. A total the front peg already shows moves
    // nothing (no points, no pegging).
    void pegTo(int total);
    // Both pegs back in the start holes.
    void reset();

    int frontTotal() const { return m_front; }
    int backTotal() const { return m_back; }
    // Where the front or back peg is drawn, in the control's coordinates.
    QPointF frontPegCentre() const;
    QPointF backPegCentre() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointF toControl(const QPointF &picturePoint) const;

    QSize m_pictureSize;
    int m_front = 0;
    int m_back = 0;
};
