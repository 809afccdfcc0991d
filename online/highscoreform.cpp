#include "highscoreform.h"

#include <QGuiApplication>
#include <QScreen>

Thighscore::Thighscore()
    : SecondaryWindow(QStringLiteral("Thighscore"), QStringLiteral("Pegsquare - High Scores"), QSize(603, 561),
                      Border::Dialog)
{
    // This window opens centred on the desktop rather than on the game.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}
