#include "taglabel.h"

#include "imagecontrol.h"
#include "scaledlayout.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TagLabel::TagLabel(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry)
    : QLabel(caption, parent)
{
    setObjectName(name);
    setGeometry(geometry);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TagLabel::setPixelFont(int pixelSize, bool bold)
{
    QFont f = font();
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    setFont(f);
}

void TagLabel::setTextColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

QColor TagLabel::textColor() const
{
    return palette().color(QPalette::WindowText);
}

void TagLabel::setBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

void TagLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void TagLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        Q_EMIT clicked(this);
}

void TagLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (m_showFocus && hasFocus()) {
        QPainter painter(this);
        drawFocusFrame(painter, rect(), layoutScale(this));
    }
}

void TagLabel::keyPressEvent(QKeyEvent *event)
{
    if (focusPolicy() == Qt::NoFocus) {
        QLabel::keyPressEvent(event);
        return;
    }
    if (takesClickKey(*this, m_showFocus, event))
        Q_EMIT clicked(this);
}

void TagLabel::focusInEvent(QFocusEvent *event)
{
    m_showFocus = showsFocusFrameAfter(event->reason(), m_showFocus);
    update();
    QLabel::focusInEvent(event);
}

void TagLabel::focusOutEvent(QFocusEvent *event)
{
    update();
    QLabel::focusOutEvent(event);
}
