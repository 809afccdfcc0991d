#pragma once

#include <QObject>
#include <QString>

// Families of numbered controls (card_11 … card_44, label_high1 …) are
// found by composing the name and looking it up among the window's
// children. Returns nullptr when no child of that name and type exists.
template<typename T>
T *findControl(const QObject *window, const QString &name)
{
    return window->findChild<T *>(name);
}

class QWidget;

// Shows a secondary window modelessly and brings it to the front; the
// first time it is shown it is centred over `over` (when given).
void showWindow(QWidget *window, const QWidget *over = nullptr);
