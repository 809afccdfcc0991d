#include "mainform.h"

#include "controls.h"
#include "fonts.h"
#include "imagecontrol.h"
#include "soundplayer.h"
#include "systemclock.h"
#include "taglabel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QTimer>

Tmain::Tmain(platform::SoundPlayer &sound)
    : m_sound(sound)
{
    setObjectName(QStringLiteral("Tmain"));
    setWindowTitle(QStringLiteral("Pegsquare"));
    setFont(pegfonts::sans(11));
    buildMenu();
    buildClientArea();
    resize(kDefaultWidth, kDefaultHeight);
    FormCreate();
}

Tmain::~Tmain() = default;

void Tmain::FormCreate()
{
    m_programname = QStringLiteral("pegsquare");
    m_mutex = platform::createNamedMutex(m_programname.toStdString());
    m_defaultWidth = kDefaultWidth;
    m_defaultHeight = kDefaultHeight;
    m_random.setSeed(platform::millisecondsSinceUtcMidnight());
    loadinifile();
    m_gameInProgress = false;
    playsounds(QStringLiteral("entered"));
    QWidget *name = findControl<QWidget>(this, QStringLiteral("panel_name"));
    name->show();
    name->raise();
    clearall();
}

void Tmain::FormShow()
{
    // The automatic version check starts here once the update component
    // exists; with the option unticked nothing touches the network.
}

void Tmain::loadinifile()
{
    // Until the settings file is read, every start uses the defaults.
    setOuterBounds(kDefaultLeft, kDefaultTop, m_defaultWidth, m_defaultHeight);
    m_playSounds->setChecked(true);
    m_editName->setText(QStringLiteral("Guest"));
    m_editAname->setText(m_editName->text());
    m_updateCheck->setChecked(true);
}

void Tmain::setOuterBounds(int left, int top, int width, int height)
{
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    // Frame thickness on each side; zero before the window manager has
    // framed the window, in which case the bounds are applied again once
    // the window is first shown.
    const int dl = inner.left() - frame.left();
    const int dt = inner.top() - frame.top();
    const int dw = frame.width() - inner.width();
    const int dh = frame.height() - inner.height();
    setGeometry(left + dl, top + dt, std::max(1, width - dw), std::max(1, height - dh));
    m_pendingBounds = isVisible() ? QRect() : QRect(left, top, width, height);
}

void Tmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShow)
        return;
    m_firstShow = false;
    if (m_pendingBounds.isValid()) {
        const QRect bounds = m_pendingBounds;
        // Let the window manager frame the window before correcting for it.
        QTimer::singleShot(0, this, [this, bounds] {
            setOuterBounds(bounds.left(), bounds.top(), bounds.width(), bounds.height());
        });
    }
    FormShow();
}

void Tmain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void Tmain::FormResize()
{
    // The client area is what lies under the menu bar; keep it at least as
    // large as the board plus a small margin.
    if (!m_client)
        return;
    const QSize client = m_client->size();
    int extraWidth = 0;
    int extraHeight = 0;
    if (client.height() < kMinClientHeight)
        extraHeight = kMinClientHeight - client.height();
    if (client.width() < kMinClientWidth)
        extraWidth = kMinClientWidth - client.width();
    if (extraWidth || extraHeight)
        resize(width() + extraWidth, height() + extraHeight);
}

void Tmain::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Closing the main window ends the program, whatever else is open.
    QApplication::quit();
}

void Tmain::playsounds(const QString &name)
{
    if (m_playSounds->isChecked())
        m_sound.play(name.toStdString());
}

void Tmain::PlaySounds1Click()
{
    m_playSounds->setChecked(!m_playSounds->isChecked());
}

void Tmain::updatecheckClick()
{
    m_updateCheck->setChecked(!m_updateCheck->isChecked());
}

void Tmain::StartGame1Click()
{
    button_startClick();
    findControl<QWidget>(this, QStringLiteral("panel_over"))->hide();
}

void Tmain::Exit1Click()
{
    close();
}

void Tmain::Help2Click()
{
    showWindow(m_windows.help, this);
}

void Tmain::About1Click()
{
    showWindow(m_windows.about, this);
}

void Tmain::TallyList1Click()
{
    showWindow(m_windows.tallylist, this);
}

void Tmain::Pegclub1Click()
{
    showWindow(m_windows.multiplayer, this);
}

void Tmain::image_logoClick()
{
    // Opens the vendor's page through the about window's link once that
    // window has its links.
}

void Tmain::button_cancelClick()
{
    findControl<QWidget>(this, QStringLiteral("panel_over"))->hide();
}

void Tmain::Image1Click()
{
    findControl<QWidget>(this, QStringLiteral("panel_linescore"))->hide();
}

void Tmain::ChangeName1Click()
{
    QWidget *name = findControl<QWidget>(this, QStringLiteral("panel_name"));
    name->show();
    name->raise();
}

void Tmain::button_namedoneClick()
{
    m_editName->setText(m_editAname->text());
    findControl<QWidget>(this, QStringLiteral("panel_name"))->hide();
}

void Tmain::button_namecancelClick()
{
    findControl<QWidget>(this, QStringLiteral("panel_name"))->hide();
}

void Tmain::ResetScreenLocation1Click()
{
    setOuterBounds(kDefaultLeft, kDefaultTop, m_defaultWidth, m_defaultHeight);
}
