#include "quitsignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::array<int, 3> kQuitSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end is all the handler touches: write() is async-signal-safe.
int g_pipe[2] = {-1, -1};

void restoreDefaults()
{
    for (int number : kQuitSignals)
        std::signal(number, SIG_DFL);
}

extern "C" void onQuitSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe means a signal is already waiting to be read.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kQuitSignals)
        ::sigaction(number, &action, nullptr);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSignal(); });
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    restoreDefaults();
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void QuitSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(g_pipe[0], &byte, 1) != 1)
        return;
    // From here on a second signal ends the program at once.
    restoreDefaults();
    m_notifier->setEnabled(false);
    Q_EMIT quitRequested(byte);
}

} // namespace platform
