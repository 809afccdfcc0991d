#pragma once

#include <QWidget>

// Base of the program's secondary windows (about, help, advert, tally
// list, online high scores): a top-level window created once at start-up,
// hidden until asked for, shown modelessly and hidden again, never closing
// the program.
class SecondaryWindow : public QWidget {
    Q_OBJECT
public:
    enum class Border { Dialog, Resizable, Tool };

    SecondaryWindow(const QString &name, const QString &caption, const QSize &clientSize, Border border);
};
