#pragma once

#include <QString>

#include <functional>

class QUrl;

// Hands a web address, a mail address or a file to the desktop, so that
// the user's default program for it opens it.
namespace platform {

// Called when an opener that had started reports afterwards that it
// could not open the target (the desktop's opener found no browser).
using OpenFailed = std::function<void()>;

// Opens `target` with the desktop's default action. `target` is read as an
// address with its scheme ("http://…", "mailto:…"); an absolute local path
// ("/…") is opened as that file. The target is passed whole, whatever its
// length, as one argument: no shell ever parses it.
//
// The desktop's opener (xdg-open) is started as a program of its own and
// watched: when it ends saying it could not open the target, `onLateFailure`
// runs later on this thread (never after the opener has outlived the
// program, and never when this call returned false). Without xdg-open the
// desktop services of Qt are asked instead.
//
// Returns true when an opener was started; false for an empty or
// unreadable target or when nothing could start one. Never shows a
// message.
bool shellOpen(const QString &target, OpenFailed onLateFailure = {});

// What shellOpen() hands its address to. Tests install a recorder so that
// no real browser starts; an empty function puts the desktop's opener
// back. Returns the opener that was installed before.
using UrlOpener = std::function<bool(const QUrl &url)>;
UrlOpener setUrlOpenerForTesting(UrlOpener opener);

} // namespace platform
