/* Compiled as C: the public header must work from C, and the call must link. */
#include "specklecut.h"

int CallRemoveSmallRegionFromC(const char* source, const char* target, int sizeLimit, int polarity,
                               int eightConnected);

int CallRemoveSmallRegionFromC(const char* source, const char* target, int sizeLimit, int polarity,
                               int eightConnected)
{
    return RemoveSmallRegion(source, target, sizeLimit, polarity, eightConnected);
}
