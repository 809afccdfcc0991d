#include "pagelink.h"

#include <QUrl>

std::optional<QString> externalPageLink(const QString &src, const QUrl &page)
{
    const QString link = src.trimmed();
    if (link.isEmpty() || link.startsWith(QLatin1Char('#')))
        return std::nullopt;
    const QUrl given(link, QUrl::TolerantMode);
    if (!given.isValid())
        return std::nullopt;
    const QString scheme = given.scheme().toLower();
    if (scheme.isEmpty()) {
        // "//host/path" keeps the page's scheme and so stays on the web.
        const QUrl resolved = page.resolved(given);
        if (!resolved.isValid() || (resolved.scheme() != QLatin1String("http")
                                    && resolved.scheme() != QLatin1String("https")))
            return std::nullopt;
        return resolved.toString(QUrl::FullyEncoded);
    }
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (given.host().isEmpty())
            return std::nullopt;
        return link;
    }
    if (scheme == QLatin1String("mailto"))
        return link;
    return std::nullopt;
}
