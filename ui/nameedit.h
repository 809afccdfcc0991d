#pragma once

#include <QLineEdit>

// An edit box for the player's name: the player can type at most
// `maxTyped` characters, but text set by the program (a longer name from
// the settings file) is kept whole, and deleting from it is allowed.
class NameEdit : public QLineEdit {
    Q_OBJECT
public:
    // What a player can type into the game's name boxes.
    static constexpr int kMaxTyped = 10;

    NameEdit(QWidget *parent, const QString &name, const QRect &geometry, int maxTyped = kMaxTyped);

    int maxTyped() const { return m_maxTyped; }

private:
    int m_maxTyped;
};
