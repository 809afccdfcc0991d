#include "pegboard.h"

#include "cribbagetrack.h"

#include <QPainter>
#include <QRadialGradient>

namespace {

const QColor kPegColour(200, 30, 30);

void paintPeg(QPainter &painter, const QPointF &centre, qreal radius)
{
    // Lit from the top left, like the pegs drawn into the other pictures.
    QRadialGradient light(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.15);
    light.setColorAt(0, kPegColour.lighter(170));
    light.setColorAt(1, kPegColour);
    painter.setPen(QPen(kPegColour.darker(220), radius * 0.2));
    painter.setBrush(light);
    painter.drawEllipse(centre, radius, radius);
}

} // namespace

PegBoard::PegBoard(QWidget *parent, const QString &name, const QRect &geometry, const QSize &pictureSize)
    : ImageControl(parent, name, geometry)
    , m_pictureSize(pictureSize)
{
    setStretch(true);
}

void PegBoard::pegTo(int total)
{
    if (total == m_front)
        return;
    m_back = m_front;
    m_front = total;
    update();
}

void PegBoard::reset()
{
    m_front = 0;
    m_back = 0;
    update();
}

QPointF PegBoard::toControl(const QPointF &picturePoint) const
{
    if (m_pictureSize.isEmpty())
        return picturePoint;
    return QPointF(picturePoint.x() * width() / m_pictureSize.width(),
                   picturePoint.y() * height() / m_pictureSize.height());
}

QPointF PegBoard::frontPegCentre() const
{
    return toControl(cribbagetrack::pegCentre(m_pictureSize, m_front, cribbagetrack::Peg::Front));
}

QPointF PegBoard::backPegCentre() const
{
    return toControl(cribbagetrack::pegCentre(m_pictureSize, m_back, cribbagetrack::Peg::Back));
}

void PegBoard::paintEvent(QPaintEvent *event)
{
    ImageControl::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius =
        cribbagetrack::kPegRadius * (m_pictureSize.isEmpty() ? 1.0 : qreal(width()) / m_pictureSize.width());
    // The back peg first: when a round of exactly a lap puts both in one
    // hole, the front peg is the one seen.
    paintPeg(painter, backPegCentre(), radius);
    paintPeg(painter, frontPegCentre(), radius);
}
