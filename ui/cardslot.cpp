#include "cardslot.h"

#include "cardimagelist.h"
#include "imagecontrol.h"

#include <QPainter>

void showCard(ImageControl *control, const CardImageList &images, int code, bool setTag)
{
    control->clearPicture();
    if (setTag)
        control->setTag(code);
    control->drawPicture([&](QPainter &painter) { images.draw(painter, QPoint(0, 0), code); });
}

void clearCell(ImageControl *control)
{
    control->clearPicture();
    control->setTag(0);
}
