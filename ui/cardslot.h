#pragma once

class CardImageList;
class ImageControl;

// Puts the picture of card `code` (0 … 52; 0 draws the card back) into an
// image control: the picture is cleared, the tag set to the code, and the
// card drawn at (0, 0) through its mask. Tag and picture always change
// together. With `setTag` false (the breakdown's cards) the tag is left.
void showCard(ImageControl *control, const CardImageList &images, int code, bool setTag = true);

// Empties a card slot: no picture (what lies behind shows) and tag 0.
void clearCell(ImageControl *control);
