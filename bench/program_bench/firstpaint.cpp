#include "firstpaint.h"
#include "figures.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace programbench {

namespace {
bool g_watchPaint = false;
std::int64_t g_mainNs = 0;
std::int64_t g_appNs = 0;
FirstPaintWatch *g_watch = nullptr;
} // namespace

void noteMainStarted()
{
    g_mainNs = monotonicNs();
}

void watchStartup()
{
    g_watchPaint = true;
}

bool FirstPaintWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (m_showNs == 0 && event->type() == QEvent::Show && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->isWindow())
        m_showNs = monotonicNs();
    if (m_paintNs == 0 && event->type() == QEvent::Paint && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->isWindow()) {
        m_paintNs = monotonicNs();
        m_window = watched->metaObject()->className();
        QTimer::singleShot(0, this, [this] {
            m_doneNs = monotonicNs();
            if (OnFrameDone)
                OnFrameDone();
        });
    }
    return QObject::eventFilter(watched, event);
}

namespace {
// Runs inside the application object's constructor, so the watch is in
// place before any window of the program exists.
void installPaintWatch()
{
    if (!g_watchPaint)
        return;
    g_appNs = monotonicNs();
    g_watch = new FirstPaintWatch(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(g_watch);
    g_watch->OnFrameDone = [] {
        std::printf("STARTUP main=%lld app=%lld show=%lld paint=%lld done=%lld rss=%ld window=%s\n",
                    (long long)g_mainNs, (long long)g_appNs, (long long)g_watch->showNs(),
                    (long long)g_watch->paintNs(), (long long)g_watch->doneNs(), statusKb("VmRSS"),
                    g_watch->window());
        std::fflush(stdout);
        QCoreApplication::quit();
    };
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installPaintWatch)

} // namespace programbench
