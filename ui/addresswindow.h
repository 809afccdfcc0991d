#pragma once

#include <QDialog>

class QLineEdit;

// Shown when a link could not be opened because no web browser could be
// started: the address in a field where it can be selected and copied,
// with a Copy button that puts it on the clipboard. There is only ever one
// such window; a second link that fails shows its address in the same one.
class AddressWindow : public QDialog {
    Q_OBJECT
public:
    // Shows `address` near `parent` (the window the link was clicked in, or
    // none) without blocking, with the address selected and focused.
    // Returns the window, which deletes itself when closed.
    static AddressWindow *showAddress(QWidget *parent, const QString &address);

    QString address() const;

private:
    explicit AddressWindow(QWidget *parent);
    void setAddress(const QString &address);

    QLineEdit *m_address;
};
