#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QSize>

class QWidget;

// Tiles a picture over a window's client area, behind everything else.
//
// The component belongs to its window (a QObject child of it) and hooks
// the paint events of one widget, the paint target: the window itself, or
// for a QMainWindow its central widget, the area under the menu bar. On
// each paint the tiles go down first, over the widget's background fill,
// and then the widget's own painting runs as before; children paint on
// top as usual. A new component is switched off and has no picture.
class TLbBackground : public QObject {
    Q_OBJECT
public:
    // Hooks `owner`, or the central widget when `owner` is a QMainWindow
    // that already has one. `owner` must not be null.
    explicit TLbBackground(QWidget *owner);
    // Unhooks the paint target and repaints it without tiles.
    ~TLbBackground() override;

    QWidget *owner() const { return m_owner; }

    // The widget whose client origin the first tile sits on. Moving the
    // hook repaints the old and the new target; null is ignored.
    QWidget *paintTarget() const { return m_target; }
    void setPaintTarget(QWidget *target);

    // Tiling happens only while enabled and with a non-empty picture.
    // Changing either repaints the window.
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // Keeps its own copy of `image`; later changes to the caller's pixmap
    // do not reach the tiles.
    const QPixmap &image() const { return m_image; }
    void setImage(const QPixmap &image);

    // Where the tiles of a `tile`-sized picture go on a window of outer
    // size `window`: (width div w + 2) columns of (height div h + 2) tiles,
    // column by column from (0, 0). The extra column and row cover the
    // client area whatever its offset within the frame. Empty for an
    // empty tile size.
    static QList<QPoint> tilePositions(const QSize &window, const QSize &tile);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintTiles();
    void repaint();

    QWidget *m_owner;
    QPointer<QWidget> m_target;
    QPixmap m_image;
    bool m_enabled = false;
};
