#include "secondarywindow.h"

#include "colors.h"
#include "lbbackground.h"

#include <QKeyEvent>

SecondaryWindow::SecondaryWindow(const QString &name, const QString &caption, const QSize &clientSize,
                                 Border border)
    : QWidget(nullptr, border == Border::Tool ? Qt::Tool : Qt::Window)
{
    setObjectName(name);
    setWindowTitle(caption);
    // Closing any of these only hides it; only the main window ends the
    // program.
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette p = palette();
    p.setColor(QPalette::Window, pegcolors::background());
    setPalette(p);
    setAutoFillBackground(true);
    if (border == Border::Resizable)
        resize(clientSize);
    else
        setFixedSize(clientSize);
    m_background = new TLbBackground(this);
    m_background->setObjectName(QStringLiteral("LbBackground1"));
    m_background->setEnabled(true);
}

void SecondaryWindow::copyBackground(const TLbBackground &mainBackground)
{
    m_background->setImage(mainBackground.image());
}

void SecondaryWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Closing only hides these windows (see the constructor).
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
