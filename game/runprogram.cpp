#include "runprogram.h"

#include "gameresources.h"
#include "mainform.h"
#include "program.h"
#include "sdlsoundplayer.h"

#include <QApplication>

int runPegsquare(int argc, char *argv[], const QString &vendorHost)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pegsquare"));
    // Only the main window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QApplication::setWindowIcon(gameresources::programIcon());

    platform::SdlSoundPlayer sound(gameresources::soundFiles());
    Program program(sound, QApplication::applicationDirPath(), vendorHost);
    program.mainWindow().show();
    return QApplication::exec();
}
