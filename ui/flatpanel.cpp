#include "flatpanel.h"

#include <QEvent>
#include <QPainter>

namespace {
constexpr int kDefaultWidth = 185;
constexpr int kDefaultHeight = 41;
}

TFlatPanel::TFlatPanel(QWidget *parent, const QString &name)
    : QWidget(parent)
    , m_color(palette().color(QPalette::Button))
{
    setObjectName(name);
    resize(kDefaultWidth, kDefaultHeight);
}

TFlatPanel::TFlatPanel(QWidget *parent, const QString &name, const QRect &geometry)
    : TFlatPanel(parent, name)
{
    setGeometry(geometry);
}

void TFlatPanel::setTransparent(bool transparent)
{
    m_transparent = transparent;
    update();
}

void TFlatPanel::setBorderColor(int index, const QColor &color)
{
    m_colors[index == 0 ? 0 : 1] = color;
    update();
}

void TFlatPanel::setBorderColors(const QColor &color)
{
    m_colors[0] = m_colors[1] = color;
    update();
}

void TFlatPanel::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void TFlatPanel::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void TFlatPanel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TFlatPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

void TFlatPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect r = rect();
    if (!m_transparent)
        painter.fillRect(r, m_color);

    // One-pixel frame: top and left in the highlight, bottom and right in
    // the shadow colour.
    painter.setPen(m_colors[0]);
    painter.drawLine(r.left(), r.top(), r.right(), r.top());
    painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
    painter.setPen(m_colors[1]);
    painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
    r.adjust(1, 1, -1, -1);

    if (m_caption.isEmpty())
        return;
    painter.setFont(font());
    const int flags = int(m_alignment) | Qt::AlignVCenter | Qt::TextSingleLine;
    if (isEnabled()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(r, flags, m_caption);
    } else {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(r.translated(1, 1), flags, m_caption);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(r, flags, m_caption);
    }
}
