#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

// A flat, text-only push button: a filled box with a one-line caption and
// nested one-pixel frames, which takes a hover fill and caption colour
// while the pointer is over it and a pressed fill (caption nudged one pixel
// right and down) while the left button is held on it.
//
// The button keeps its own enabled flag and its own click and mouse
// callbacks, separate from QWidget's: when its own flag is off it ignores
// hover and presses and raises nothing, yet the widget stays enabled (its
// caption keeps its colours and it still reacts to a click by redrawing
// its normal look).
class TSelButton : public QWidget {
    Q_OBJECT
public:
    enum class Look { Normal, Hover, Pressed };

    using NotifyEvent = std::function<void(TSelButton *sender)>;
    using MouseEvent = std::function<void(TSelButton *sender, Qt::MouseButton button,
                                          Qt::KeyboardModifiers shift, int x, int y)>;

    static constexpr int kDefaultWidth = 105;
    static constexpr int kDefaultHeight = 20;

    // A 105 × 20 button named `name`. With a parent its caption starts as
    // its name; without one it starts empty.
    explicit TSelButton(QWidget *parent = nullptr, const QString &name = QString());
    // The same, placed at `geometry` in its parent.
    TSelButton(QWidget *parent, const QString &name, const QRect &geometry);

    // Setting any of these five repaints the button in its normal look.
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QColor colorBorder() const { return m_colorBorder; }
    void setColorBorder(const QColor &color);
    // Left, right or centre (only the horizontal part is used).
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    // The number of nested one-pixel frames; negative values count as 0.
    int borderWidth() const { return m_borderWidth; }
    void setBorderWidth(int width);

    // These only store the value; it shows the next time the matching look
    // is drawn.
    QColor colorOver() const { return m_colorOver; }
    void setColorOver(const QColor &color);
    QColor colorDown() const { return m_colorDown; }
    void setColorDown(const QColor &color);
    QColor colorOverCaption() const { return m_colorOverCaption; }
    void setColorOverCaption(const QColor &color);
    bool buttonEnabled() const { return m_enabled; }
    void setButtonEnabled(bool enabled);

    // The caption colour of the normal look (the font itself is the
    // widget's font). Changing it, like changing the font, repaints the
    // normal look.
    QColor fontColor() const { return m_fontColor; }
    void setFontColor(const QColor &color);

    // A free integer for the owning window's use.
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Raised, while the button's own flag is on, on a click, a left press
    // and a left release. Each is called with this button as sender; mouse
    // positions are in the button's coordinates.
    void setOnClick(NotifyEvent handler) { m_onClick = std::move(handler); }
    void setOnMouseDown(MouseEvent handler) { m_onMouseDown = std::move(handler); }
    void setOnMouseUp(MouseEvent handler) { m_onMouseUp = std::move(handler); }
    // Kept for the owner but never raised by the button.
    void setOnMouseEnter(NotifyEvent handler) { m_onMouseEnter = std::move(handler); }
    void setOnMouseLeave(NotifyEvent handler) { m_onMouseLeave = std::move(handler); }
    const NotifyEvent &onClick() const { return m_onClick; }
    const MouseEvent &onMouseDown() const { return m_onMouseDown; }
    const MouseEvent &onMouseUp() const { return m_onMouseUp; }
    const NotifyEvent &onMouseEnter() const { return m_onMouseEnter; }
    const NotifyEvent &onMouseLeave() const { return m_onMouseLeave; }

    // The look drawn last and the caption colour it was drawn with.
    Look look() const { return m_look; }
    QColor captionColor() const { return m_captionColor; }

    // Where the caption's top-left corner goes in `look` for the current
    // size, font and alignment.
    QPoint captionPosition(Look look) const;

    // The caption font of a new button: Arial 8 point (11 pixels) through
    // its metric-compatible stand-in.
    static QFont defaultFont();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void drawLook(Look look);
    void click();

    QString m_caption;
    QColor m_color;
    QColor m_colorBorder;
    QColor m_colorOverCaption;
    QColor m_colorOver;
    QColor m_colorDown;
    QColor m_fontColor;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    int m_borderWidth = 1;
    bool m_enabled = true;
    int m_tag = 0;

    NotifyEvent m_onClick;
    MouseEvent m_onMouseDown;
    MouseEvent m_onMouseUp;
    NotifyEvent m_onMouseEnter;
    NotifyEvent m_onMouseLeave;

    Look m_look = Look::Normal;
    QColor m_captionColor;
    // A left press landed on the button and its release may complete a click.
    bool m_clickArmed = false;
};

// The look of the text buttons of the help, about and advert windows:
// maroon in every look, an Arial bold 10 point caption (13 pixels) in
// silver that turns pale yellow under the pointer, a one-pixel pale yellow
// frame.
//
// A Done button: caption centred.
void styleDoneButton(TSelButton &button);
// A section button of the help window: caption left-aligned.
void styleSectionButton(TSelButton &button);
