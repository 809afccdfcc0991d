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
    const int ring = scaled(kRingWidth);
    setGeometry(cell.adjusted(-ring, -ring, ring, ring));
    show();
    update();
}

void HintMark::dismiss()
{
    hide();
    m_cell = QRect();
}

int HintMark::scaled(int width) const
{
    return std::max(width, int(std::lround(width * layoutScale(this))));
}

QColor HintMark::edgeColour()
{
    return pegcolors::maroon();
}

QColor HintMark::bandColour()
{
    return QColor(255, 196, 0);
}

QColor HintMark::washColour()
{
    return QColor(255, 236, 140, 180);
}

namespace {

// A frame `width` wide just inside `r`.
void fillFrame(QPainter &painter, const QRect &r, int width, const QColor &colour)
{
    painter.fillRect(r.x(), r.y(), r.width(), width, colour);
    painter.fillRect(r.x(), r.bottom() - width + 1, r.width(), width, colour);
    painter.fillRect(r.x(), r.y() + width, width, r.height() - 2 * width, colour);
    painter.fillRect(r.right() - width + 1, r.y() + width, width, r.height() - 2 * width, colour);
}

} // namespace

void HintMark::paintEvent(QPaintEvent *)
{
    // Bands of whole logical pixels: the painter's ratio scales them by
    // whole device pixels, so the ring stays sharp on high-density screens.
    QPainter painter(this);
    const int ring = scaled(kRingWidth);
    const int edge = scaled(kEdgeWidth);
    fillFrame(painter, rect(), edge, edgeColour());
    fillFrame(painter, rect().adjusted(edge, edge, -edge, -edge), ring - edge, bandColour());
    painter.fillRect(rect().adjusted(ring, ring, -ring, -ring), washColour());
}
