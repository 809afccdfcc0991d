#include "lbbackground.h"

#include <QEvent>
#include <QMainWindow>
#include <QPainter>
#include <QWidget>

#include <algorithm>

TLbBackground::TLbBackground(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
    auto *mainWindow = qobject_cast<QMainWindow *>(owner);
    m_target = mainWindow && mainWindow->centralWidget() ? mainWindow->centralWidget() : owner;
    m_target->installEventFilter(this);
}

TLbBackground::~TLbBackground()
{
    if (m_target) {
        m_target->removeEventFilter(this);
        m_target->update();
    }
}

void TLbBackground::setPaintTarget(QWidget *target)
{
    if (!target || target == m_target)
        return;
    if (m_target) {
        m_target->removeEventFilter(this);
        m_target->update();
    }
    m_target = target;
    m_target->installEventFilter(this);
    m_target->update();
}

void TLbBackground::setEnabled(bool enabled)
{
    m_enabled = enabled;
    repaint();
}

void TLbBackground::setImage(const QPixmap &image)
{
    // QPixmap copies on write: whatever the caller later does to theirs
    // leaves this one as it was.
    m_image = image;
    repaint();
}

void TLbBackground::repaint()
{
    m_owner->update();
    if (m_target)
        m_target->update();
}

QList<QPoint> TLbBackground::tilePositions(const QSize &window, const QSize &tile)
{
    QList<QPoint> positions;
    if (tile.isEmpty())
        return positions;
    const int columns = std::max(window.width(), 0) / tile.width() + 2;
    const int rows = std::max(window.height(), 0) / tile.height() + 2;
    positions.reserve(columns * rows);
    for (int column = 0; column < columns; ++column)
        for (int row = 0; row < rows; ++row)
            positions.append(QPoint(column * tile.width(), row * tile.height()));
    return positions;
}

void TLbBackground::paintTiles()
{
    if (!m_enabled || m_image.isNull())
        return;
    // The picture may carry a device pixel ratio; tiles are laid out in
    // the window's own units.
    const QSize tile = m_image.deviceIndependentSize().toSize();
    QPainter painter(m_target);
    for (const QPoint &at : tilePositions(m_owner->frameGeometry().size(), tile))
        painter.drawPixmap(at, m_image);
}

bool TLbBackground::eventFilter(QObject *watched, QEvent *event)
{
    // Returning false lets the widget's own painting run after the tiles.
    if (watched == m_target && event->type() == QEvent::Paint)
        paintTiles();
    return QObject::eventFilter(watched, event);
}
