#include "picturebutton.h"

#include "fonts.h"
#include "gameresources.h"
#include "imagecontrol.h"

#include <QPainter>

namespace {

// Labels without a stored picture (none of the game's own) get one drawn
// in the same style, so a new button never shows up blank.
QPixmap drawnButtonPicture(const QSize &size, const QString &label, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r(0, 0, size.width(), size.height());
    QLinearGradient face(r.topLeft(), r.bottomLeft());
    face.setColorAt(0.0, QColor(150, 20, 20));
    face.setColorAt(1.0, QColor(95, 0, 0));
    p.fillRect(r, face);
    p.setPen(QPen(QColor(235, 215, 170), 1));
    p.drawRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
    p.setFont(pegfonts::sans(15, true));
    p.setPen(QColor(250, 240, 215));
    p.drawText(r, Qt::AlignCenter, label);
    return pixmap;
}

} // namespace

QPixmap buttonPicture(const QSize &size, const QString &label, qreal devicePixelRatio)
{
    QPixmap stored = gameresources::buttonPicture(label, devicePixelRatio);
    if (stored.isNull())
        return drawnButtonPicture(size, label, devicePixelRatio);
    if (gameresources::buttonSize(label) == size)
        return stored;
    // A control of another size gets the stored picture stretched to it.
    QPixmap scaled = stored.scaled(size * devicePixelRatio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(devicePixelRatio);
    return scaled;
}

ImageControl *makePictureButton(QWidget *parent, const QString &name, const QRect &geometry,
                                const QString &label)
{
    auto *button = new ImageControl(parent, name, geometry);
    const QSize size = geometry.size();
    button->setPictureSource([size, label](qreal ratio) { return buttonPicture(size, label, ratio); });
    button->setCursor(Qt::PointingHandCursor);
    // The caption is drawn into the picture; a screen reader needs it as text.
    button->setAccessibleName(label);
    return button;
}
