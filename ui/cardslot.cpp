#include "cardslot.h"

#include "cardimagelist.h"
#include "imagecontrol.h"

#include <QPainter>

void showCard(ImageControl *control, const CardImageList &images, int code, bool setTag)
{
    control->clearPicture();
    if (setTag)
        control->setTag(code);
    // The drawing is kept for redrawing at another scale: the image list by
    // reference (it outlives its cells), the code by value.
    control->drawPicture([&images, code](QPainter &painter) { images.draw(painter, QPoint(0, 0), code); });
}

void clearCell(ImageControl *control)
{
    control->clearPicture();
    control->setTag(0);
}
