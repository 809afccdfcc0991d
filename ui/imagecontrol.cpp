#include "imagecontrol.h"

#include <QMouseEvent>
#include <QPainter>

ImageControl::ImageControl(QWidget *parent, const QString &name, const QRect &geometry)
    : QWidget(parent)
{
    setObjectName(name);
    setGeometry(geometry);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ImageControl::clearPicture()
{
    m_picture = QPixmap();
    update();
}

void ImageControl::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void ImageControl::setStretch(bool stretch)
{
    m_stretch = stretch;
    update();
}

void ImageControl::drawPicture(const std::function<void(QPainter &)> &paint)
{
    const qreal ratio = devicePixelRatioF();
    QPixmap canvas(size() * ratio);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        paint(painter);
    }
    m_picture = canvas;
    update();
}

void ImageControl::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    if (m_stretch) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), m_picture);
    } else {
        painter.drawPixmap(0, 0, m_picture);
    }
}

void ImageControl::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void ImageControl::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a left press and release inside the control.
    const bool click = m_pressed && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        Q_EMIT clicked(this);
}
