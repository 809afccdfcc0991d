#include "multiplayerform.h"

Tmultiplayer::Tmultiplayer()
    : SecondaryWindow(QStringLiteral("Tmultiplayer"), QStringLiteral("Pegsquare Solo - Multiplayer"),
                      QSize(569, 431), Border::Tool)
{
}
