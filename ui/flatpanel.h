#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

// A panel with a flat one-pixel border in two chosen colours (top/left and
// bottom/right), an optional see-through background and a one-line caption,
// painted without flicker through an off-screen pixmap.
//
// Like every panel of the program it takes its font and, until a colour is
// set on it, its fill colour from its parent.
class TFlatPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 185;
    static constexpr int kDefaultHeight = 41;

    // A 185 × 41 panel named `name`; border colours RGB(160, 150, 131),
    // caption centred, not transparent.
    explicit TFlatPanel(QWidget *parent = nullptr, const QString &name = QString());
    // The same, placed at `geometry` in its parent.
    TFlatPanel(QWidget *parent, const QString &name, const QRect &geometry);

    // When on, the panel shows its parent's look (background and the
    // parent's own drawing, not its child widgets) instead of filling with
    // color(). Without a parent only the border and caption are painted.
    bool transparent() const { return m_transparent; }
    void setTransparent(bool transparent);

    QColor colorHighLight() const { return m_colors[0]; }
    QColor colorShadow() const { return m_colors[1]; }
    // 0 sets the top/left colour, 1 the bottom/right one; any other index
    // is ignored.
    void setBorderColor(int index, const QColor &color);
    // Sets both border colours, giving a plain one-pixel border.
    void setBorderColors(const QColor &color);

    // The fill colour. While parentColor() is on it is the parent's fill
    // (a panel's color(), any other widget's background colour), or the
    // system button face without a parent. setColor turns parentColor off.
    QColor color() const;
    void setColor(const QColor &color);
    bool parentColor() const { return m_parentColor; }
    void setParentColor(bool on);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // Only the horizontal part is used (left, right or centre); the caption
    // is always one line, vertically centred.
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // The system colours the caption of a disabled panel is embossed in:
    // first the highlight one pixel right and down, then the shadow.
    static QColor systemButtonHighlight();
    static QColor systemButtonShadow();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void drawParentLook(QPainter &painter);

    bool m_transparent = false;
    QColor m_colors[2];
    QColor m_color;
    bool m_parentColor = true;
    QString m_caption;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
    // Set while this panel asks its parent to draw into the off-screen
    // pixmap, so a paint that comes back to this panel cannot recurse.
    bool m_drawingParent = false;
};
