#pragma once

// Where the peg holes lie on the CRIBBAGE board pictures. The generator
// drills the holes from these positions and the game puts its pegs in
// them, so the two can never disagree.
//
// The board stands on end with CRIBBAGE inlaid down the middle and two
// rows of holes on each side: one lap of 120 holes in groups of five,
// thirty to a row. The lap runs up the left outer row (holes 1 … 30), down
// the left inner row (31 … 60), up the right inner row (61 … 90) and down
// the right outer row (91 … 120). Below the left rows are the two start
// holes where the pegs wait before the first points. Totals beyond a lap
// go round again: total 121 stands in hole 1.
//
// Header only, on Qt Core's geometry types, so the build-time generator
// uses it without linking the program's libraries.

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <algorithm>

namespace cribbagetrack {

inline constexpr int kLapHoles = 120;
inline constexpr int kRows = 4;
inline constexpr int kHolesPerRow = kLapHoles / kRows;
inline constexpr int kGroupHoles = 5;
inline constexpr int kGroupsPerRow = kHolesPerRow / kGroupHoles;
// In the picture's logical pixels.
inline constexpr double kHoleRadius = 1.5;
inline constexpr double kPegRadius = 3.2;
inline constexpr double kBorder = 2;            // the picture's light rim round the board
inline constexpr double kRowInset = 9;          // board edge to the outer row
inline constexpr double kRowSpacing = 12;       // outer row to inner row
inline constexpr double kTrackTopInset = 16;    // board top to the top hole
inline constexpr double kTrackBottomInset = 30; // board bottom to the bottom hole
inline constexpr double kStartHoleInset = 14;   // board bottom to the start holes
// The gap between two groups of five, in hole pitches (one pitch being the
// plain step between neighbours).
inline constexpr double kGroupGap = 1.75;

// The two pegs of the one player.
enum class Peg { Front, Back };

// The hole a total stands in: 0 (the start) for a total of 0 or less,
// otherwise 1 … 120, going round the lap as often as the total needs.
constexpr int holeForTotal(int total)
{
    return total <= 0 ? 0 : (total - 1) % kLapHoles + 1;
}

// The board inside the picture's rim, for a picture of `picture` logical pixels.
inline QRectF boardRect(const QSizeF &picture)
{
    return QRectF(kBorder, kBorder, picture.width() - 2 * kBorder, picture.height() - 2 * kBorder);
}

// The x of row 0 … 3 (left outer, left inner, right inner, right outer).
inline double rowX(const QSizeF &picture, int row)
{
    const QRectF board = boardRect(picture);
    switch (std::clamp(row, 0, kRows - 1)) {
    case 0:
        return board.left() + kRowInset;
    case 1:
        return board.left() + kRowInset + kRowSpacing;
    case 2:
        return board.right() - kRowInset - kRowSpacing;
    default:
        return board.right() - kRowInset;
    }
}

// The centre of lap hole `hole` (1 … 120, clamped into that range) on a
// picture of `picture` logical pixels.
inline QPointF holeCentre(const QSizeF &picture, int hole)
{
    const QRectF board = boardRect(picture);
    const int index = std::clamp(hole, 1, kLapHoles) - 1;
    const int row = index / kHolesPerRow;
    const int along = index % kHolesPerRow;  // 0 at the row's first hole
    // Rows 0 and 2 run upwards, rows 1 and 3 downwards.
    const int fromTop = (row % 2 == 0) ? kHolesPerRow - 1 - along : along;
    const double top = board.top() + kTrackTopInset;
    const double bottom = board.bottom() - kTrackBottomInset;
    const double pitch = (bottom - top) / ((kHolesPerRow - 1) + (kGroupsPerRow - 1) * (kGroupGap - 1));
    const double y = top + pitch * (fromTop + (fromTop / kGroupHoles) * (kGroupGap - 1));
    return QPointF(rowX(picture, row), y);
}

// The start hole of `peg`: the front peg's below the left outer row, the
// back peg's below the left inner row.
inline QPointF startHoleCentre(const QSizeF &picture, Peg peg)
{
    return QPointF(rowX(picture, peg == Peg::Front ? 0 : 1), boardRect(picture).bottom() - kStartHoleInset);
}

// Where `peg` stands at `total` on a picture of `picture` logical pixels.
inline QPointF pegCentre(const QSizeF &picture, int total, Peg peg)
{
    const int hole = holeForTotal(total);
    return hole == 0 ? startHoleCentre(picture, peg) : holeCentre(picture, hole);
}

} // namespace cribbagetrack
