#pragma once

#include <QColor>
#include <QWidget>

// A panel with a flat one-pixel border in two chosen colours (top/left and
// bottom/right), an optional see-through background and a one-line caption.
class TFlatPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFlatPanel(QWidget *parent = nullptr, const QString &name = QString());
    TFlatPanel(QWidget *parent, const QString &name, const QRect &geometry);

    bool transparent() const { return m_transparent; }
    void setTransparent(bool transparent);

    QColor colorHighLight() const { return m_colors[0]; }
    QColor colorShadow() const { return m_colors[1]; }
    // 0 sets the top/left colour, 1 the bottom/right one.
    void setBorderColor(int index, const QColor &color);
    void setBorderColors(const QColor &color);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool m_transparent = false;
    QColor m_colors[2] = {QColor(160, 150, 131), QColor(160, 150, 131)};
    QColor m_color;
    QString m_caption;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
};
