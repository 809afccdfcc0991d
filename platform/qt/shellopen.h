#pragma once

#include <QString>

#include <functional>

class QUrl;

// Hands a web address, a mail address or a file to the desktop, so that
// the user's default program for it opens it.
namespace platform {

// Opens `target` with the desktop's default action (xdg-open through
// QDesktopServices). `target` is read as an address with its scheme
// ("http://…", "mailto:…"); an absolute local path ("/…") is opened as
// that file. The target is passed whole, whatever its length, and no
// shell ever parses it. Returns true when the desktop reports that it
// started an opener; false for an empty or unreadable target or when
// nothing could open it. Never shows a message.
bool shellOpen(const QString &target);

// What shellOpen() hands its address to. Tests install a recorder so that
// no real browser starts; an empty function puts the desktop's opener
// back. Returns the opener that was installed before.
using UrlOpener = std::function<bool(const QUrl &url)>;
UrlOpener setUrlOpenerForTesting(UrlOpener opener);

} // namespace platform
