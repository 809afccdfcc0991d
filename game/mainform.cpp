#include "mainform.h"

#include "aboutform.h"
#include "controls.h"
#include "fonts.h"
#include "hintmark.h"
#include "imagecontrol.h"
#include "messageboxes.h"
#include "reviewform.h"
#include "scaledlayout.h"
#include "gamesettings.h"
#include "nameedit.h"
#include "soundplayer.h"
#include "systemclock.h"
#include "taglabel.h"
#include "updateservice.h"
#include "url.h"
#include "vendorpaths.h"
#include "windowplacement.h"
#include "workarea.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QTimer>

namespace {
constexpr int kWorkAreaReduction = 3;  // pixels taken off a window larger than the work area

// A stored name the vendor's server would refuse (too long to post) is cut
// to what the name box lets a player type, not cutting a character in
// two; one the server accepts is kept whole, as it was typed or stored.
QString postableName(const QString &stored)
{
    if (stored.toUcs4().size() <= vendor::kMaxNameCodePoints)
        return stored;
    qsizetype cut = NameEdit::kMaxTyped;
    if (stored.at(cut - 1).isHighSurrogate())
        --cut;
    return stored.left(cut);
}
} // namespace

Tmain::Tmain(platform::SoundPlayer &sound, const QString &programFolder)
    : m_sound(sound)
    , m_programFolder(programFolder)
{
    setObjectName(QStringLiteral("Tmain"));
    setWindowTitle(QStringLiteral("Pegsquare"));
    setFont(pegfonts::sans(11));
    setUpHint();
    buildMenu();
    buildClientArea();
    buildUpdate();
    setUpKeyboard();
    m_placement = new WindowPlacement(*this);
    setOuterBounds(kDefaultLeft, kDefaultTop, kDefaultWidth, kDefaultHeight);
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
    // With the option unticked nothing touches the network.
    if (m_updateCheck->isChecked() && m_update)
        m_update->checkNow(UpdateService::Asked::AtStart);
}

QString Tmain::inifilePath() const
{
    return m_programFolder + QLatin1Char('/') + m_programname + QStringLiteral(".ini");
}

void Tmain::loadinifile()
{
    GameSettings defaults;
    defaults.left = kDefaultLeft;
    defaults.top = kDefaultTop;
    defaults.width = m_defaultWidth;
    defaults.height = m_defaultHeight;
    const GameSettings settings =
        readGameSettings(inifilePath().toStdString(), m_programname.toStdString(), defaults);
    // Applied as read as long as the window stays a normal one whose title
    // and menu can be reached: a mistyped or hostile file must neither ask
    // for a window of gigabytes nor hide it where "Reset Screen Location"
    // cannot be chosen. The placement given is also what is remembered, so
    // a window the player leaves alone is saved as it was shown.
    m_remembered = platform::reachablePlacement(settings.left, settings.top, settings.width, settings.height,
                                                platform::virtualDesktop(), QSize(kMinClientWidth, kMinClientHeight));
    setOuterBounds(m_remembered.left(), m_remembered.top(), m_remembered.width(), m_remembered.height());
    m_playSounds->setChecked(settings.sounds);
    m_editName->setText(postableName(QString::fromStdString(settings.name)));
    m_editAname->setText(m_editName->text());
    m_updateCheck->setChecked(settings.updateCheck);
}

Tmain::SettingsCopy Tmain::settingsToSave() const
{
    const QRect bounds = outerBounds();
    SettingsCopy copy;
    copy.path = inifilePath().toStdString();
    copy.section = m_programname.toStdString();
    copy.settings.left = bounds.left();
    copy.settings.top = bounds.top();
    copy.settings.width = bounds.width();
    copy.settings.height = bounds.height();
    copy.settings.name = m_editName->text().toStdString();
    copy.settings.sounds = m_playSounds->isChecked();
    copy.settings.updateCheck = m_updateCheck->isChecked();
    return copy;
}

void Tmain::saveinifile()
{
    const SettingsCopy copy = settingsToSave();
    writeGameSettings(copy.path, copy.section, copy.settings);
}

void Tmain::saveSettingsShowingErrors()
{
    try {
        saveinifile();
    } catch (const std::exception &e) {
        showErrorBox(QString::fromStdString(e.what()));
    }
}

QRect Tmain::outerBounds() const
{
    return m_placement->outerBounds();
}

void Tmain::setOuterBounds(int left, int top, int width, int height)
{
    m_placement->setOuterBounds(QRect(left, top, width, height));
}

void Tmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShow)
        return;
    m_firstShow = false;
    m_placement->watchFrame();
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
    fitBoard();
}

void Tmain::fitBoard()
{
    if (!m_scaledLayout)
        return;
    const QSize client = m_client->size();
    const qreal factor = ScaledLayout::fitFactor(client, QSize(kMinClientWidth, kMinClientHeight));
    m_scaledLayout->apply(factor);
    QPoint at(0, 0);
    if (m_scaledLayout->factor() > 1.0)
        at = QPoint(std::max(0, (client.width() - m_board->width()) / 2),
                    std::max(0, (client.height() - m_board->height()) / 2));
    m_board->move(at);
    // The mark's rectangle follows its cell, which the scaling just moved.
    if (m_hintCell >= 0)
        m_hintMark->markCell(cell(square::rowLineOf(m_hintCell), m_hintCell % square::kSide + 1)->geometry());
}

qreal Tmain::boardScale() const
{
    return m_scaledLayout ? m_scaledLayout->factor() : 1.0;
}

bool Tmain::FormClose()
{
    QRect bounds = outerBounds();
    if (bounds != m_remembered) {
        const QRect work = platform::desktopWorkArea();
        // One small reduction, not a clamp: a window wider or taller than
        // the work area comes back a little smaller next time.
        if (bounds.width() > work.width())
            bounds.setWidth(bounds.width() - kWorkAreaReduction);
        if (bounds.height() > work.height())
            bounds.setHeight(bounds.height() - kWorkAreaReduction);
        setOuterBounds(bounds.left(), bounds.top(), bounds.width(), bounds.height());
        m_remembered = bounds;
    }
    try {
        saveinifile();
        return true;
    } catch (const std::exception &e) {
        // The player asked to close: say what failed, then close anyway.
        showErrorBox(QString::fromStdString(e.what()));
        return false;
    }
}

void Tmain::closeEvent(QCloseEvent *event)
{
    FormClose();
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
    saveSettingsShowingErrors();
}

void Tmain::updatecheckClick()
{
    m_updateCheck->setChecked(!m_updateCheck->isChecked());
    saveSettingsShowingErrors();
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
    // The maker strip opens the vendor's address through the about
    // window's link, so both always open the same page.
    if (auto *about = qobject_cast<Tabout *>(m_windows.about))
        about->url1().Execute();
}

void Tmain::button_cancelClick()
{
    findControl<QWidget>(this, QStringLiteral("panel_over"))->hide();
}

void Tmain::Image1Click()
{
    findControl<QWidget>(this, QStringLiteral("panel_linescore"))->hide();
}

QString Tmain::playerName() const
{
    const QString name = m_editName->text().trimmed();
    return name.isEmpty() ? QStringLiteral("Guest") : m_editName->text();
}

void Tmain::ChangeName1Click()
{
    // The box offers the name in use, also one typed at game over.
    m_editAname->setText(m_editName->text());
    QWidget *name = findControl<QWidget>(this, QStringLiteral("panel_name"));
    name->show();
    name->raise();
}

void Tmain::button_namedoneClick()
{
    // No name is "Guest", as a posting would call it.
    const bool none = m_editAname->text().trimmed().isEmpty();
    m_editName->setText(none ? QStringLiteral("Guest") : m_editAname->text());
    m_editAname->setText(m_editName->text());
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
