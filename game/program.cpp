#include "program.h"

#include "aboutform.h"
#include "exitnote.h"
#include "helpform.h"
#include "highscoreform.h"
#include "mainform.h"
#include "messageboxes.h"
#include "multiplayerform.h"
#include "tallyfile.h"
#include "tallylistform.h"
#include "updatecheck.h"
#include "vendorhost.h"

#include <QLabel>

#include <exception>


namespace {
// The name the settings, tally and note files are made of, as the main
// window gives it (the note is needed before that window exists).
constexpr const char *kProgramName = "pegsquare";

// Each secondary window shows the main window's tile, copied as the window
// is created.
template<typename Window>
std::unique_ptr<Window> withBackground(std::unique_ptr<Window> window, const Tmain &main)
{
    window->copyBackground(main.background());
    return window;
}
} // namespace

Program::UnseenMessages::UnseenMessages(std::filesystem::path notePath)
    : m_lastNote(exitnote::take(notePath))
{
    setUnseenMessageHandler([notePath](const QString &message) { exitnote::append(notePath, message.toStdString()); });
}

Program::UnseenMessages::~UnseenMessages()
{
    setUnseenMessageHandler({});
}

Program::Program(platform::SoundPlayer &sound, const QString &programFolder, const QString &vendorHost)
    : m_host(vendorHost.isEmpty() ? QString::fromLatin1(kVendorHost) : vendorHost)
    , m_unseen(exitnote::pathFor(programFolder.toStdString(), kProgramName))
    , m_main(std::make_unique<Tmain>(sound, programFolder))
    , m_about(withBackground(std::make_unique<Tabout>(m_host), *m_main))
    , m_help(withBackground(std::make_unique<Thelp>(), *m_main))
    , m_highscore(withBackground(std::make_unique<Thighscore>(m_host), *m_main))
    , m_tallylist(withBackground(std::make_unique<Ttallylist>(tallyfile::pathFor(programFolder.toStdString(),
                                     m_main->programname().toStdString())),
                                 *m_main))
    , m_multiplayer(withBackground(std::make_unique<Tmultiplayer>(m_host), *m_main))
{
    m_main->setWindows({m_about.get(), m_help.get(), m_highscore.get(), m_tallylist.get(), m_multiplayer.get()});
    m_help->setAboutWindow(m_about.get(), m_main.get());
    m_main->setTallyRecorder(m_tallylist.get());
    m_main->setOnlineScores(m_highscore.get());
    // The update check compares with what the about window shows.
    const auto *version = m_about->findChild<QLabel *>(QStringLiteral("version"));
    m_update = std::make_unique<UpdateCheck>(m_host, version ? version->text() : QStringLiteral(PEGSQUARE_VERSION));
    m_main->setUpdateService(m_update.get());
    Tmain *main = m_main.get();
    m_highscore->OnScorePosted = [main] { main->scorePosted(); };
    m_highscore->OnPostingFailed = [main](const QString &why) { main->postingFailed(why); };
    if (!m_unseen.lastNote().empty())
        showErrorBox(QStringLiteral("When Pegsquare last ended, it could not tell you this:\n\n%1")
                         .arg(QString::fromStdString(m_unseen.lastNote())));
}

bool Program::saveAll(Report report)
{
    bool settingsSaved = true;
    try {
        m_main->saveinifile();
    } catch (const std::exception &e) {
        settingsSaved = false;
        if (report == Report::Shown)
            showErrorBox(QString::fromStdString(e.what()));
    }
    const bool tallySaved =
        m_tallylist->saveTally(report == Report::Shown ? Ttallylist::Report::Shown : Ttallylist::Report::Quietly);
    return settingsSaved && tallySaved;
}

Program::SaveCopy Program::saveCopy() const
{
    const Tmain::SettingsCopy settings = m_main->settingsToSave();
    return {settings.path, settings.section, settings.settings, m_tallylist->grid()};
}

bool Program::saveFromCopy(const SaveCopy &copy)
{
    bool settingsSaved = true;
    try {
        writeGameSettings(copy.settingsPath, copy.settingsSection, copy.settings);
    } catch (const std::exception &) {
        settingsSaved = false;
    }
    const bool tallySaved = m_tallylist->saveCopyNow(copy.tally);
    return settingsSaved && tallySaved;
}

// Secondary windows go first, in reverse order of creation, so the main
// window outlives every window that may still refer to it.
Program::~Program()
{
    // The update check first: its fetch reports to the main window.
    m_main->setUpdateService(nullptr);
    m_update.reset();
    m_multiplayer.reset();
    m_tallylist.reset();
    m_highscore.reset();
    m_help.reset();
    m_about.reset();
    m_main.reset();
}
