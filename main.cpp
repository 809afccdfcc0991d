// Pegsquare: a cribbage-square solitaire.
#include "mainform.h"
#include "program.h"
#include "soundplayer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    // Only the main window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::SilentSoundPlayer sound;
    Program program(sound);
    program.mainWindow().show();
    return QApplication::exec();
}
