#include "imagecontrol.h"

#include "scaledlayout.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

void drawFocusFrame(QPainter &painter, const QRect &rect, qreal scale)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    // A black band four pixels wide with white dashes along its middle,
    // in logical pixels, so the painter's device pixel ratio scales it by
    // whole device pixels and it stays sharp on high-density screens. On a
    // grown board it grows with the board, by whole pixels: an even band
    // keeps the ring on whole pixels too.
    const int half = std::max(1, int(std::lround(scale)));
    const int band = 4 * half;
    const QRect ring = rect.adjusted(band / 2, band / 2, -band / 2, -band / 2);
    painter.setPen(QPen(Qt::black, band, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(ring);
    painter.setPen(QPen(Qt::white, band / 2, Qt::DashLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawRect(ring);
    painter.restore();
}

bool isKeyboardFocusReason(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
}

bool showsFocusFrameAfter(Qt::FocusReason reason, bool showedBefore)
{
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return showedBefore;
    return isKeyboardFocusReason(reason);
}

bool isClickKey(const QKeyEvent *event)
{
    const int key = event->key();
    return (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
           && !(event->modifiers() & ~Qt::KeypadModifier) && !event->isAutoRepeat();
}

bool takesClickKey(QWidget &control, bool &showFocus, QKeyEvent *event)
{
    if (!showFocus) {
        showFocus = true;
        control.update();
    }
    if (isClickKey(event))
        return true;
    event->ignore();
    return false;
}

ImageControl::ImageControl(QWidget *parent, const QString &name, const QRect &geometry)
    : QWidget(parent)
{
    setObjectName(name);
    setGeometry(geometry);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ImageControl::clearPicture()
{
    m_source = nullptr;
    m_paint = nullptr;
    m_picture = QPixmap();
    update();
}

void ImageControl::setPicture(const QPixmap &picture)
{
    m_source = nullptr;
    m_paint = nullptr;
    m_picture = picture;
    update();
}

void ImageControl::setStretch(bool stretch)
{
    m_stretch = stretch;
    update();
}

void ImageControl::setPictureSource(std::function<QPixmap(qreal)> source)
{
    m_paint = nullptr;
    m_source = std::move(source);
    renderPicture();
}

void ImageControl::drawPicture(std::function<void(QPainter &)> paint)
{
    m_source = nullptr;
    m_paint = std::move(paint);
    renderPicture();
}

void ImageControl::renderPicture()
{
    const qreal ratio = devicePixelRatioF() * layoutScale(this);
    if (m_source) {
        m_picture = m_source(ratio);
    } else if (m_paint) {
        // The canvas covers the control's device pixels; its ratio makes the
        // painter draw in factor-1 coordinates.
        QPixmap canvas(size() * devicePixelRatioF());
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            m_paint(painter);
        }
        m_picture = canvas;
    }
    update();
}

void ImageControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_source || m_paint)
        renderPicture();
}

void ImageControl::paintEvent(QPaintEvent *)
{
    const bool frame = m_showFocus && hasFocus();
    if (m_picture.isNull() && !frame)
        return;
    QPainter painter(this);
    const qreal scale = layoutScale(this);
    if (m_picture.isNull()) {
        // An empty cell: nothing of its own, only the frame.
    } else if (m_stretch) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), m_picture);
    } else if (scale == 1.0) {
        painter.drawPixmap(0, 0, m_picture);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRectF(QPointF(0, 0), m_picture.deviceIndependentSize() * scale), m_picture,
                           QRectF(m_picture.rect()));
    }
    if (frame)
        drawFocusFrame(painter, rect(), scale);
}

void ImageControl::keyPressEvent(QKeyEvent *event)
{
    if (focusPolicy() == Qt::NoFocus) {
        event->ignore();
        return;
    }
    if (takesClickKey(*this, m_showFocus, event))
        Q_EMIT clicked(this);
}

void ImageControl::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&ImageControl::clicked) && focusPolicy() == Qt::NoFocus)
        setFocusPolicy(Qt::TabFocus);
    QWidget::connectNotify(signal);
}

void ImageControl::focusInEvent(QFocusEvent *event)
{
    m_showFocus = showsFocusFrameAfter(event->reason(), m_showFocus);
    update();
    QWidget::focusInEvent(event);
}

void ImageControl::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
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
