#pragma once

#include <QString>

#include <optional>

class QUrl;

// Which links of a downloaded page may be handed to the desktop's opener.
// The page comes from the network, so a link in it must not reach a local
// file, a script or anything else that would run on this machine.
//
// Returns the address to open for the link `src` of the page at `page`:
// http, https and mailto addresses as they stand; a relative link resolved
// against the page's own address. Nothing for a link within the page
// ("#name", which the view scrolls to itself), an empty link, or any other
// scheme (file, javascript, data, a local path, …).
std::optional<QString> externalPageLink(const QString &src, const QUrl &page);
