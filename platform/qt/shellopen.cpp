#include "shellopen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <utility>

namespace platform {

namespace {

UrlOpener &testOpener()
{
    static UrlOpener opener;
    return opener;
}

// Tolerant parsing keeps the address as written (it only repairs stray
// characters such as spaces); it never guesses a scheme or turns a host
// name into a file. Only a path that is plainly absolute ("/dir/file",
// not the "//host" of a scheme-relative address) is taken as a file.
QUrl targetUrl(const QString &target)
{
    const bool localPath = target.startsWith(QLatin1Char('/')) && !target.startsWith(QLatin1String("//"));
    return localPath ? QUrl::fromLocalFile(target) : QUrl(target, QUrl::TolerantMode);
}

// xdg-open tells by its exit status whether it found a program for the
// address; Qt's own launcher starts it detached and never looks, so a
// desktop without a browser would fail in silence. The process object
// has no parent and is deleted when xdg-open ends: one still running when
// the program quits is left alone rather than killed, since with some
// desktops it is the browser the player is reading.
bool startXdgOpen(const QString &xdgOpen, const QUrl &url, OpenFailed onLateFailure)
{
    auto *process = new QProcess;
    process->setProgram(xdgOpen);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::finished, process, [process, onLateFailure](int exitCode, QProcess::ExitStatus status) {
        process->deleteLater();
        if ((status != QProcess::NormalExit || exitCode != 0) && onLateFailure)
            onLateFailure();
    });
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    return true;
}

} // namespace

bool shellOpen(const QString &target, OpenFailed onLateFailure)
{
    if (target.isEmpty())
        return false;
    const QUrl url = targetUrl(target);
    if (!url.isValid())
        return false;
    if (const UrlOpener &opener = testOpener())
        return opener(url);
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty())
        return startXdgOpen(xdgOpen, url, std::move(onLateFailure));
    return QDesktopServices::openUrl(url);
}

UrlOpener setUrlOpenerForTesting(UrlOpener opener)
{
    return std::exchange(testOpener(), std::move(opener));
}

} // namespace platform
