#include "hatchshape.h"

#include <QPainter>

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
    painter.setBrush(QBrush(Qt::black, Qt::DiagCrossPattern));
    painter.drawRect(rect());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
