#include "hatchshape.h"

#include "scaledlayout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

HatchShape::HatchShape(QWidget *parent, const QString &name, const QRect &geometry)
    : QWidget(parent)
{
    setObjectName(name);
    setGeometry(geometry);
    setAttribute(Qt::WA_TranslucentBackground);
}

void HatchShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    // The hatching grows with the control: its pattern follows the brush's
    // transform.
    QBrush hatch(Qt::black, Qt::DiagCrossPattern);
    const qreal scale = layoutScale(this);
    hatch.setTransform(QTransform::fromScale(scale, scale));
    painter.setBrush(hatch);
    painter.drawRect(rect());
    painter.setBrush(Qt::NoBrush);
    const int line = std::max(1, int(std::lround(scale)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const int w = width();
    const int h = height();
    painter.drawRect(0, 0, w, line);
    painter.drawRect(0, h - line, w, line);
    painter.drawRect(0, 0, line, h);
    painter.drawRect(w - line, 0, line, h);
}
