#include "helpform.h"

Thelp::Thelp()
    : SecondaryWindow(QStringLiteral("Thelp"), QStringLiteral("Pegsquare - Help File"), QSize(523, 431),
                      Border::Resizable)
{
}
