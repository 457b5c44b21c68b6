#pragma once

// The mean colour of a block of screen pixels, as AmbiLight sends it to a zone. The sums are exact integers
// and each mean is rounded to the nearest integer with ties to the even neighbour (a mean of 127.5 gives 128,
// 126.5 gives 126), so the result does not depend on the order of the pixels.

#include <QtGlobal>

// Pixels as the X server hands them at depth 24: 32 bits each, 0xXXRRGGBB in the machine's byte order (blue
// first in memory on this platform); the top byte is ignored. Rows are `bytesPerLine` apart.
struct PixelBlock {
    const uchar* data = nullptr;
    int width = 0;
    int height = 0;
    qsizetype bytesPerLine = 0;
};

// The mean of every pixel of `block` as a colour 0x00BBGGRR; black for an empty block.
quint32 AverageColour(const PixelBlock& block);

// The mean colour 0x00BBGGRR of `count` pixels whose components add up to `red`, `green` and `blue`, each
// rounded as above: what every capture that sums pixels its own way gives, so that all agree to the bit.
// Black for no pixels.
quint32 MeanColour(quint64 red, quint64 green, quint64 blue, quint64 count);
