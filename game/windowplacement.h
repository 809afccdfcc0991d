#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

class QTimer;
class QWidget;

// Places a top-level window by its outer bounds, frame included, as a
// player sees them and as the settings keep them. Window managers frame a
// window some time after it is first shown, so the frame's size is watched
// for a while after the first show and the bounds applied again once it is
// known; without a window manager there is never a frame.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    explicit WindowPlacement(QWidget &window);

    void setOuterBounds(const QRect &bounds);
    // The bounds asked for until the frame is known, then the frame's.
    QRect outerBounds() const;
    // Starts watching for the frame; called at the window's first show.
    void watchFrame();

private:
    QSize frameExtra() const;
    void apply();
    void tick();

    QWidget &m_window;
    QRect m_wanted;
    // The frame size allowed for when the bounds were applied, and the
    // inside size that gave.
    QSize m_appliedExtra;
    QSize m_appliedSize;
    bool m_settled = false;
    int m_ticks = 0;
    QTimer *m_watch = nullptr;
};
