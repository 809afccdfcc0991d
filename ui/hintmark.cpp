#include "hintmark.h"

#include "colors.h"
#include "scaledlayout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

HintMark::HintMark(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HintMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void HintMark::markCell(const QRect &cell)
{
    m_cell = cell;
    const int ring = ringWidth();
    setGeometry(cell.adjusted(-ring, -ring, ring, ring));
    show();
    update();
}

void HintMark::dismiss()
{
    hide();
    m_cell = QRect();
}

int HintMark::ringWidth() const
{
    return std::max(kRingWidth, int(std::lround(kRingWidth * layoutScale(this))));
}

void HintMark::paintEvent(QPaintEvent *)
{
    // Four bands of whole logical pixels: the painter's ratio scales them by
    // whole device pixels, so the ring stays sharp on high-density screens.
    QPainter painter(this);
    const QColor colour = pegcolors::maroon();
    const int w = width();
    const int h = height();
    const int ring = ringWidth();
    painter.fillRect(0, 0, w, ring, colour);
    painter.fillRect(0, h - ring, w, ring, colour);
    painter.fillRect(0, ring, ring, h - 2 * ring, colour);
    painter.fillRect(w - ring, ring, ring, h - 2 * ring, colour);
}
