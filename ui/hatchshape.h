#pragma once

#include <QWidget>

// A rectangle with a one-pixel black outline filled with a black
// diagonal-cross hatch: the look of an empty board cell. Outline and
// hatching grow with the control's layoutScale().
class HatchShape : public QWidget {
    Q_OBJECT
public:
    HatchShape(QWidget *parent, const QString &name, const QRect &geometry);

protected:
    void paintEvent(QPaintEvent *event) override;
};
