#include "tallylistform.h"

Ttallylist::Ttallylist()
    : SecondaryWindow(QStringLiteral("Ttallylist"), QStringLiteral("Pegsquare - Tally List"), QSize(342, 425),
                      Border::Dialog)
{
}
