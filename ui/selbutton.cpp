#include "selbutton.h"

#include "colors.h"
#include "fonts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

const QColor kBorderGrey(128, 128, 128);
const QColor kCaptionGrey(128, 128, 128);
const QColor kHoverGreen(132, 185, 164);
// Arial 8 point is 11 pixels high on the 96-dpi screens the windows were
// laid out for.
constexpr int kCaptionPixels = 11;
// Horizontal inset of a left- or right-aligned caption in the normal look.
constexpr int kLeftInset = 5;
constexpr int kRightInset = 6;

// The help, about and advert windows' buttons.
const QColor kSilver(192, 192, 192);
const QColor kPaleYellow(224, 228, 171);
constexpr int kWindowButtonPixels = 13;  // Arial bold 10 point

void styleWindowButton(TSelButton &button, Qt::Alignment alignment)
{
    button.setColor(pegcolors::maroon());
    button.setColorOver(pegcolors::maroon());
    button.setColorDown(pegcolors::maroon());
    button.setColorBorder(kPaleYellow);
    button.setColorOverCaption(kPaleYellow);
    button.setFont(pegfonts::sans(kWindowButtonPixels, true));
    button.setFontColor(kSilver);
    button.setBorderWidth(1);
    button.setAlignment(alignment);
}

} // namespace

TSelButton::TSelButton(QWidget *parent, const QString &name)
    : QWidget(parent)
    , m_color(QApplication::palette().color(QPalette::Button))
    , m_colorBorder(kBorderGrey)
    , m_colorOverCaption(Qt::black)
    , m_colorOver(kHoverGreen)
    , m_colorDown(kHoverGreen)
    , m_fontColor(kCaptionGrey)
    , m_captionColor(kCaptionGrey)
{
    setObjectName(name);
    if (parent)
        m_caption = name;
    setFont(defaultFont());
    resize(kDefaultWidth, kDefaultHeight);
}

TSelButton::TSelButton(QWidget *parent, const QString &name, const QRect &geometry)
    : TSelButton(parent, name)
{
    setGeometry(geometry);
}

QFont TSelButton::defaultFont()
{
    return pegfonts::sans(kCaptionPixels);
}

void TSelButton::setCaption(const QString &caption)
{
    m_caption = caption;
    drawLook(Look::Normal);
}

void TSelButton::setColor(const QColor &color)
{
    m_color = color;
    drawLook(Look::Normal);
}

void TSelButton::setColorBorder(const QColor &color)
{
    m_colorBorder = color;
    drawLook(Look::Normal);
}

void TSelButton::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    drawLook(Look::Normal);
}

void TSelButton::setBorderWidth(int width)
{
    m_borderWidth = std::max(width, 0);
    drawLook(Look::Normal);
}

void TSelButton::setColorOver(const QColor &color)
{
    m_colorOver = color;
}

void TSelButton::setColorDown(const QColor &color)
{
    m_colorDown = color;
}

void TSelButton::setColorOverCaption(const QColor &color)
{
    m_colorOverCaption = color;
}

void TSelButton::setButtonEnabled(bool enabled)
{
    m_enabled = enabled;
}

void TSelButton::setFontColor(const QColor &color)
{
    m_fontColor = color;
    drawLook(Look::Normal);
}

QPoint TSelButton::captionPosition(Look look) const
{
    const QFontMetrics metrics(font());
    const int w = width();
    const int h = height();
    const int tw = metrics.horizontalAdvance(m_caption);
    const int th = metrics.height();
    // Integer division drops fractions toward zero, as the layout expects.
    const int y = h / 2 - th / 2;
    const int pressed = look == Look::Pressed ? 1 : 0;
    const Qt::Alignment horizontal = m_alignment & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight)
        return {w - tw - kRightInset - pressed, y + pressed};
    if (horizontal & Qt::AlignHCenter)
        return {w / 2 - tw / 2 + pressed, y + pressed};
    return {kLeftInset + pressed, y + pressed};
}

void TSelButton::drawLook(Look look)
{
    m_look = look;
    // The pressed look keeps whatever caption colour was drawn before it.
    if (look == Look::Normal)
        m_captionColor = m_fontColor;
    else if (look == Look::Hover)
        m_captionColor = m_colorOverCaption;
    update();
}

void TSelButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    const QColor fill = m_look == Look::Normal ? m_color : m_look == Look::Hover ? m_colorOver : m_colorDown;
    p.fillRect(QRect(1, 1, w - 2, h - 2), fill);

    if (!m_caption.isEmpty()) {
        const QFontMetrics metrics(font());
        const QPoint at = captionPosition(m_look);
        // The caption sits on a box of the fill colour, so where it runs
        // into the border area it still reads.
        p.fillRect(QRect(at, QSize(metrics.horizontalAdvance(m_caption), metrics.height())), fill);
        p.setFont(font());
        p.setPen(m_captionColor);
        p.drawText(at.x(), at.y() + metrics.ascent(), m_caption);
    }

    for (int i = 0; i < m_borderWidth; ++i) {
        const QRect frame(i, i, w - 2 * i, h - 2 * i);
        if (frame.width() <= 0 || frame.height() <= 0)
            break;
        p.fillRect(QRect(frame.left(), frame.top(), frame.width(), 1), m_colorBorder);
        p.fillRect(QRect(frame.left(), frame.bottom(), frame.width(), 1), m_colorBorder);
        p.fillRect(QRect(frame.left(), frame.top(), 1, frame.height()), m_colorBorder);
        p.fillRect(QRect(frame.right(), frame.top(), 1, frame.height()), m_colorBorder);
    }
}

void TSelButton::enterEvent(QEnterEvent *event)
{
    if (m_enabled)
        drawLook(Look::Hover);
    QWidget::enterEvent(event);
}

void TSelButton::leaveEvent(QEvent *event)
{
    drawLook(Look::Normal);
    QWidget::leaveEvent(event);
}

void TSelButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The click itself belongs to the widget, not to the button's own
    // flag: even a button switched off redraws its normal look on one.
    m_clickArmed = true;
    if (!m_enabled)
        return;
    const QPoint at = event->position().toPoint();
    QPointer<TSelButton> alive(this);
    if (m_onMouseDown)
        m_onMouseDown(this, Qt::LeftButton, event->modifiers(), at.x(), at.y());
    if (alive)
        drawLook(Look::Pressed);
}

void TSelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    QPointer<TSelButton> alive(this);

    // A click comes before the release, so a click inside ends in the
    // hover look: normal look and OnClick first, then the release below.
    const bool armed = std::exchange(m_clickArmed, false);
    if (armed && rect().contains(at))
        click();
    if (!alive || !m_enabled)
        return;
    if (m_onMouseUp)
        m_onMouseUp(this, Qt::LeftButton, modifiers, at.x(), at.y());
    if (alive && QApplication::widgetAt(global) == this)
        drawLook(Look::Hover);
}

void TSelButton::click()
{
    drawLook(Look::Normal);
    if (m_enabled && m_onClick)
        m_onClick(this);
}

void TSelButton::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        // A button placed on a window is labelled with its name until the
        // window sets a caption.
        if (parentWidget())
            m_caption = objectName();
        drawLook(Look::Normal);
        break;
    case QEvent::FontChange:
        drawLook(Look::Normal);
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void styleDoneButton(TSelButton &button)
{
    styleWindowButton(button, Qt::AlignHCenter);
}

void styleSectionButton(TSelButton &button)
{
    styleWindowButton(button, Qt::AlignLeft);
}
