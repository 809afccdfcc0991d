#include "program.h"

#include "aboutform.h"
#include "helpform.h"
#include "highscoreform.h"
#include "mainform.h"
#include "multiplayerform.h"
#include "tallyfile.h"
#include "tallylistform.h"

#include <QCoreApplication>

Program::Program(platform::SoundPlayer &sound)
    : m_main(std::make_unique<Tmain>(sound, QCoreApplication::applicationDirPath()))
    , m_about(std::make_unique<Tabout>())
    , m_help(std::make_unique<Thelp>())
    , m_highscore(std::make_unique<Thighscore>())
    , m_tallylist(std::make_unique<Ttallylist>(tallyfile::pathFor(
          QCoreApplication::applicationDirPath().toStdString(), m_main->programname().toStdString())))
    , m_multiplayer(std::make_unique<Tmultiplayer>())
{
    m_main->setWindows({m_about.get(), m_help.get(), m_highscore.get(), m_tallylist.get(), m_multiplayer.get()});
    m_main->setTallyRecorder(m_tallylist.get());
}

// Secondary windows go first, in reverse order of creation, so the main
// window outlives every window that may still refer to it.
Program::~Program()
{
    m_multiplayer.reset();
    m_tallylist.reset();
    m_highscore.reset();
    m_help.reset();
    m_about.reset();
    m_main.reset();
}
