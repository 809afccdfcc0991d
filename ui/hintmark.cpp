#include "hintmark.h"

#include "colors.h"

#include <QPainter>

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
    setGeometry(cell.adjusted(-kRingWidth, -kRingWidth, kRingWidth, kRingWidth));
    show();
    update();
}

void HintMark::dismiss()
{
    hide();
    m_cell = QRect();
}

void HintMark::paintEvent(QPaintEvent *)
{
    // Four bands of whole logical pixels: the painter's ratio scales them by
    // whole device pixels, so the ring stays sharp on high-density screens.
    QPainter painter(this);
    const QColor colour = pegcolors::maroon();
    const int w = width();
    const int h = height();
    painter.fillRect(0, 0, w, kRingWidth, colour);
    painter.fillRect(0, h - kRingWidth, w, kRingWidth, colour);
    painter.fillRect(0, kRingWidth, kRingWidth, h - 2 * kRingWidth, colour);
    painter.fillRect(w - kRingWidth, kRingWidth, kRingWidth, h - 2 * kRingWidth, colour);
}
