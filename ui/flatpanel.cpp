#include "flatpanel.h"

#include "scaledlayout.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

const QColor kDefaultBorder(160, 150, 131);

// The colour a child with parent-colour on takes from `parent`.
QColor fillColorOf(const QWidget *parent)
{
    if (const auto *panel = qobject_cast<const TFlatPanel *>(parent))
        return panel->color();
    return parent->palette().color(parent->backgroundRole());
}

} // namespace

TFlatPanel::TFlatPanel(QWidget *parent, const QString &name)
    : QWidget(parent)
    , m_colors{kDefaultBorder, kDefaultBorder}
    , m_color(QApplication::palette().color(QPalette::Button))
{
    setObjectName(name);
    resize(kDefaultWidth, kDefaultHeight);
}

TFlatPanel::TFlatPanel(QWidget *parent, const QString &name, const QRect &geometry)
    : TFlatPanel(parent, name)
{
    setGeometry(geometry);
}

QColor TFlatPanel::systemButtonHighlight()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Light);
}

QColor TFlatPanel::systemButtonShadow()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Dark);
}

void TFlatPanel::setTransparent(bool transparent)
{
    m_transparent = transparent;
    update();
}

void TFlatPanel::setBorderColor(int index, const QColor &color)
{
    if (index != 0 && index != 1)
        return;
    m_colors[index] = color;
    update();
}

void TFlatPanel::setBorderColors(const QColor &color)
{
    m_colors[0] = m_colors[1] = color;
    update();
}

QColor TFlatPanel::color() const
{
    if (m_parentColor && parentWidget())
        return fillColorOf(parentWidget());
    return m_color;
}

void TFlatPanel::setColor(const QColor &color)
{
    m_color = color;
    setParentColor(false);
}

void TFlatPanel::setParentColor(bool on)
{
    m_parentColor = on;
    update();
    // Child panels that follow this panel's colour have to repaint too.
    for (auto *child : findChildren<TFlatPanel *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->parentColor())
            child->update();
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
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TFlatPanel::drawParentLook(QPainter &painter)
{
    QWidget *parent = parentWidget();
    if (!parent || m_drawingParent)
        return;
    // Only the parent's background and its own painting are wanted: its
    // children (this panel among them) paint themselves, and drawing them
    // here would bring this paint back round to this panel.
    const QRect source = geometry() & parent->rect();
    if (source.isEmpty())
        return;
    m_drawingParent = true;
    parent->render(&painter, source.topLeft() - pos(), QRegion(source), QWidget::DrawWindowBackground);
    m_drawingParent = false;
}

void TFlatPanel::paintEvent(QPaintEvent *)
{
    // Everything is composed off-screen first so the fill, border and
    // caption reach the screen in one copy.
    const qreal ratio = devicePixelRatioF();
    QPixmap canvas(size() * ratio);
    canvas.setDevicePixelRatio(ratio);
    // See-through, the canvas starts empty and stays so where there is no
    // parent to show.
    canvas.fill(m_transparent ? QColor(Qt::transparent) : color());
    QRect r = rect();
    {
        QPainter p(&canvas);
        if (m_transparent)
            drawParentLook(p);

        // Top and left lines in the highlight colour; the bottom and right
        // lines, corners included, in the shadow colour. One pixel wide, and
        // as many whole pixels as the board has grown.
        const int w = r.width();
        const int h = r.height();
        const int t = std::max(1, int(std::lround(layoutScale(this))));
        p.fillRect(QRect(0, 0, w - t, t), m_colors[0]);
        p.fillRect(QRect(0, 0, t, h - t), m_colors[0]);
        p.fillRect(QRect(w - t, 0, t, h), m_colors[1]);
        p.fillRect(QRect(0, h - t, w, t), m_colors[1]);
        r.adjust(t, t, -t, -t);

        if (!m_caption.isEmpty() && r.isValid()) {
            p.setFont(font());
            p.setBrush(Qt::NoBrush);
            const int flags =
                int(m_alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter | Qt::TextSingleLine;
            auto drawCaption = [&](const QRect &box, const QColor &color) {
                p.setClipRect(box);
                p.setPen(color);
                p.drawText(box, flags, m_caption);
            };
            if (isEnabled()) {
                drawCaption(r, palette().color(QPalette::WindowText));
            } else {
                drawCaption(r.translated(1, 1), systemButtonHighlight());
                drawCaption(r, systemButtonShadow());
            }
        }
    }
    QPainter(this).drawPixmap(0, 0, canvas);
}
