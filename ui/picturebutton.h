#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

class ImageControl;
class QWidget;
class QRect;

// The picture of a game button: a dark red face, a thin light border and
// the label in a light sans-serif face.
QPixmap buttonPicture(const QSize &size, const QString &label, qreal devicePixelRatio = 1.0);

// An image control showing a button picture with `label`, named `name`.
ImageControl *makePictureButton(QWidget *parent, const QString &name, const QRect &geometry,
                                const QString &label);
