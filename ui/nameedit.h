#pragma once

#include <QLineEdit>

// An edit box for the player's name: the player can type at most
// `maxTyped` characters, but text set by the program (a longer name from
// the settings file) is kept whole, and deleting from it is allowed.
class NameEdit : public QLineEdit {
    Q_OBJECT
public:
    NameEdit(QWidget *parent, const QString &name, const QRect &geometry, int maxTyped = 10);

    int maxTyped() const { return m_maxTyped; }

private:
    int m_maxTyped;
};
