#include "scaledlayout.h"

#include <algorithm>
#include <cmath>

namespace {

// The dynamic property under which a control carries its scale.
constexpr char kScaleProperty[] = "pegLayoutScale";

qreal toHundredths(qreal factor)
{
    return std::round(factor / ScaledLayout::kStep) * ScaledLayout::kStep;
}

} // namespace

qreal layoutScale(const QWidget *widget)
{
    const QVariant v = widget ? widget->property(kScaleProperty) : QVariant();
    return v.isValid() ? v.toReal() : 1.0;
}

ScaledLayout::ScaledLayout(QWidget *root)
{
    m_entries.push_back({root, root->geometry(), root->font()});
    for (QWidget *child : root->findChildren<QWidget *>())
        m_entries.push_back({child, child->geometry(), child->font()});
}

qreal ScaledLayout::fitFactor(const QSize &available, const QSize &base)
{
    if (base.isEmpty())
        return 1.0;
    const qreal fit = std::min(qreal(available.width()) / base.width(), qreal(available.height()) / base.height());
    // Down to the hundredth, with a little slack so 1.5 × base gives 1.5
    // despite the division's rounding.
    const qreal floored = std::floor(fit / kStep + 1e-6) * kStep;
    return std::max<qreal>(1.0, floored);
}

QRect ScaledLayout::scaledRect(const QRect &rect, qreal factor)
{
    const int left = int(std::lround(rect.x() * factor));
    const int top = int(std::lround(rect.y() * factor));
    const int right = int(std::lround((rect.x() + rect.width()) * factor));
    const int bottom = int(std::lround((rect.y() + rect.height()) * factor));
    return QRect(left, top, right - left, bottom - top);
}

void ScaledLayout::apply(qreal factor)
{
    factor = std::max<qreal>(1.0, toHundredths(factor));
    if (std::abs(factor - m_factor) < kStep / 2)
        return;
    m_factor = factor;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &e = m_entries[i];
        if (!e.widget)
            continue;
        // The scale first: a control that redraws its picture on a resize
        // reads it there.
        e.widget->setProperty(kScaleProperty, factor);
        QRect target = scaledRect(e.geometry, factor);
        if (i == 0)
            target.moveTopLeft(e.widget->pos());
        e.widget->setGeometry(target);
        QFont font = e.font;
        if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * factor))));
        else if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * factor);
        e.widget->setFont(font);
    }
}

QRect ScaledLayout::baseGeometry(const QWidget *widget) const
{
    for (const Entry &e : m_entries)
        if (e.widget == widget)
            return e.geometry;
    return QRect();
}
