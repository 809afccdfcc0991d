// Pegsquare: a cribbage-square solitaire.
#include "gameresources.h"
#include "mainform.h"
#include "program.h"
#include "sdlsoundplayer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    // Only the main window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QApplication::setWindowIcon(gameresources::programIcon());

    platform::SdlSoundPlayer sound(gameresources::soundFiles());
    Program program(sound, QApplication::applicationDirPath());
    program.mainWindow().show();
    return QApplication::exec();
}
