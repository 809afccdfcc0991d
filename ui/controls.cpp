#include "controls.h"

#include <QWidget>

void showWindow(QWidget *window, const QWidget *over)
{
    if (!window)
        return;
    if (!window->isVisible() && over) {
        const QRect frame = over->frameGeometry();
        QRect target = window->frameGeometry();
        target.moveCenter(frame.center());
        window->move(target.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
}
