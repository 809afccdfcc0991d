#include "shellopen.h"

#include <QDesktopServices>
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

} // namespace

bool shellOpen(const QString &target)
{
    if (target.isEmpty())
        return false;
    const QUrl url = targetUrl(target);
    if (!url.isValid())
        return false;
    if (const UrlOpener &opener = testOpener())
        return opener(url);
    return QDesktopServices::openUrl(url);
}

UrlOpener setUrlOpenerForTesting(UrlOpener opener)
{
    return std::exchange(testOpener(), std::move(opener));
}

} // namespace platform
