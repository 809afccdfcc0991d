#pragma once

#include <QWidget>

class TLbBackground;

// Base of the program's secondary windows (about, help, advert, tally
// list, online high scores): a top-level window created once at start-up,
// hidden until asked for, shown modelessly and hidden again, never closing
// the program.
class SecondaryWindow : public QWidget {
    Q_OBJECT
public:
    enum class Border { Dialog, Resizable, Tool };

    SecondaryWindow(const QString &name, const QString &caption, const QSize &clientSize, Border border);

    // Shows the main window's tile behind this window: a copy of its
    // picture, taken once when the window is created.
    void copyBackground(const TLbBackground &mainBackground);
    const TLbBackground &background() const { return *m_background; }

protected:
    // Escape closes the window, as its Done button does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    TLbBackground *m_background;
};
