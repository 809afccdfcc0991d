#pragma once

#include <QLabel>

// A label as the game windows use it: a caption, an integer tag that holds
// the value the caption shows, and a hint text that callers read back (the
// line-score labels keep their line number there). Reports clicks; one that
// accepts the focus (setFocusPolicy) reports Enter and Space as a click too.
class TagLabel : public QLabel {
    Q_OBJECT
public:
    TagLabel(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry);

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    QString hint() const { return m_hint; }
    void setHint(const QString &hint) { m_hint = hint; }

    // Font in pixels, as character heights are given for this program.
    void setPixelFont(int pixelSize, bool bold = false);
    void setTextColor(const QColor &color);
    QColor textColor() const;
    bool isBold() const { return font().bold(); }
    void setBold(bool bold);

Q_SIGNALS:
    void clicked(TagLabel *sender);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int m_tag = 0;
    QString m_hint;
    bool m_pressed = false;
    bool m_showFocus = false;  // focus came by the keyboard (or a key since)
};
