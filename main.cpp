// Pegsquare: a cribbage-square solitaire.
#include "runprogram.h"

int main(int argc, char *argv[])
{
    return runPegsquare(argc, argv);
}
