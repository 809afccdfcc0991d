#include "aboutform.h"

Tabout::Tabout()
    : SecondaryWindow(QStringLiteral("Tabout"), QStringLiteral("Pegsquare - About"), QSize(304, 193),
                      Border::Dialog)
{
}
