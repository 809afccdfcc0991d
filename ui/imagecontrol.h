#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QPainter;

// Draws the keyboard focus frame just inside `rect`: a black band with
// white dashes, which no card, hatching or button face has, so it reads on
// any of them. The band is four pixels wide times `scale` (the scale of a
// grown board), kept to whole, even pixels.
void drawFocusFrame(QPainter &painter, const QRect &rect, qreal scale = 1.0);

// Whether a focus change with `reason` came from the keyboard; the frame
// is shown only then, so the board looks as before for mouse players.
bool isKeyboardFocusReason(Qt::FocusReason reason);

// Whether a control shows its focus frame after gaining the focus for
// `reason`, given whether it showed it before: coming back from another
// window or a menu keeps it as it was.
bool showsFocusFrameAfter(Qt::FocusReason reason, bool showedBefore);

// Whether a key press works as a click on a focused control: Enter, Return
// or Space without modifiers (the keypad's own flag aside), not repeated.
bool isClickKey(const QKeyEvent *event);

// A key pressed on a focused control that clicks: any key shows the focus
// frame from then on (also when the focus came by the mouse or the
// program); true for a click key, otherwise the key goes on to the parent.
bool takesClickKey(QWidget &control, bool &showFocus, QKeyEvent *event);

// An image control: a fixed-size picture that carries an integer tag and
// reports clicks. A control something listens to for clicks (a button, a
// board cell) takes the focus by Tab and reports Enter and Space as a
// click too; clicking it leaves the focus where it was. Clearing the picture leaves the control transparent, so
// whatever lies behind it (a hatched shape, the board) shows through.
class ImageControl : public QWidget {
    Q_OBJECT
public:
    ImageControl(QWidget *parent, const QString &name, const QRect &geometry);

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Empties the picture; the control then paints nothing.
    void clearPicture();
    bool hasPicture() const { return !m_picture.isNull(); }
    const QPixmap &picture() const { return m_picture; }

    // Replaces the picture. With stretch on the picture is scaled to the
    // control's size, otherwise it is drawn at (0, 0) as it is, enlarged by
    // the control's layoutScale().
    void setPicture(const QPixmap &picture);
    void setStretch(bool stretch);

    // Makes the picture the one `source` gives for a device pixel ratio
    // (the screen's times the control's layoutScale()), asked again
    // whenever the control is resized, so a scaled picture is drawn from
    // artwork of its own resolution rather than enlarged.
    void setPictureSource(std::function<QPixmap(qreal devicePixelRatio)> source);

    // Gives `paint` a painter on a fresh transparent canvas covering the
    // control, in the control's factor-1 coordinates (at the screen's
    // device pixel ratio times the control's layoutScale(), so drawing
    // stays crisp), and makes the result the control's picture. `paint` is
    // kept and run again when the control is resized, so it must hold no
    // references that do not outlive the picture.
    void drawPicture(std::function<void(QPainter &)> paint);

Q_SIGNALS:
    void clicked(ImageControl *sender);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void connectNotify(const QMetaMethod &signal) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Runs the source or the drawing that made the picture, if any.
    void renderPicture();

    QPixmap m_picture;
    std::function<QPixmap(qreal)> m_source;
    std::function<void(QPainter &)> m_paint;
    int m_tag = 0;
    bool m_stretch = false;
    bool m_pressed = false;
    bool m_showFocus = false;  // focus came by the keyboard (or a key since)
};
