#pragma once

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

// The scale a ScaledLayout last gave `widget`: 1 for a widget no layout
// scales. Controls that draw in pixels of their own (pictures, frames,
// hatching) draw in their factor-1 coordinates times this, so they grow
// with their rectangle.
qreal layoutScale(const QWidget *widget);

// Scales a tree of absolutely placed controls by one factor: records, when
// made, the rectangle and font of the root and of every control inside it
// as they are at factor 1, and gives each of them its rectangle and font
// times the factor on apply(). Each rectangle's edges are rounded on their
// own, so neighbours that touch at factor 1 still touch, and every
// rectangle is within a pixel of the factor-1 one times the factor. Where
// the root lies in its parent is the caller's to choose; apply() keeps
// the root's position and sets only its size. Controls made after the
// recording are left alone.
class ScaledLayout {
public:
    // Factors are kept to hundredths, so a window resized a pixel at a time
    // does not rebuild every picture at every step.
    static constexpr qreal kStep = 0.01;

    explicit ScaledLayout(QWidget *root);

    // The largest factor (in hundredths, rounded down) at which `base` fits
    // into `available`, never below 1.
    static qreal fitFactor(const QSize &available, const QSize &base);
    // `rect` times `factor`, each edge rounded to the nearest pixel.
    static QRect scaledRect(const QRect &rect, qreal factor);

    // Gives every recorded control its factor-1 rectangle and font times
    // `factor` (rounded to hundredths; below 1 counts as 1). Does nothing
    // when that is the factor already applied.
    void apply(qreal factor);
    qreal factor() const { return m_factor; }
    // The rectangle `widget` had when recorded; empty for one not recorded.
    QRect baseGeometry(const QWidget *widget) const;

private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect geometry;
        QFont font;
    };
    std::vector<Entry> m_entries;
    qreal m_factor = 1.0;
};
