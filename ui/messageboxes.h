#pragma once

#include <QString>

#include <functional>

class QWidget;

// The program's standard error box: shows `message` and returns when the
// player has read it. Used where an error escapes a handler; the program
// carries on afterwards.
void showErrorBox(const QString &message);

// A plain message box with an OK button, titled with the program's name;
// returns when the player has closed it. `message` leads; a non-empty
// `detail` follows it beneath. The box is sized to its text and
// never narrower than its title needs in a window frame, and opens centred
// on `over`'s window (on the active window when `over` is null, on the
// screen when there is none).
void showMessageBox(const QString &message, const QString &detail = {}, QWidget *over = nullptr);

// A Yes/No confirmation box; true when the player answers Yes.
bool askConfirmation(QWidget *parent, const QString &caption, const QString &question);

// A quit request (the desktop ending the program) must never wait for a
// person. From the call on, every box this unit has open is closed at once
// as if dismissed (a confirmation as No), and no later box opens: its
// message goes to the unseen-message handler instead. `false` ends that
// state again, for tests that run the program more than once.
void setQuitting(bool quitting);
bool isQuitting();

// Where the messages of boxes that were closed unread or never opened go:
// standard error always, and then `handler` (the program keeps them for
// the next start). An empty function leaves standard error alone.
void setUnseenMessageHandler(std::function<void(const QString &)> handler);

// Tests replace the boxes so nothing modal opens; pass an empty function
// to restore the real boxes. A message box's handler is given its whole
// text: the message, and with a detail, an empty line and the detail.
void setErrorBoxHandler(std::function<void(const QString &)> handler);
void setMessageBoxHandler(std::function<void(const QString &)> handler);
void setConfirmationHandler(std::function<bool(const QString &caption, const QString &question)> handler);
