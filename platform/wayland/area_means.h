#pragma once

// The mean colours of many rectangles of one frame, read in one pass. A strip's LEDs look at the screen's
// four edge bands, up to a thousand small rectangles; reading each on its own would walk the frame a
// thousand times. Here the frame's rows are read once, top to bottom, and each row gives every rectangle
// that crosses it its part, so only the bands are read and each of their pixels once (twice where two
// rectangles overlap, as rectangles scaled onto a smaller picture may).
//
// The frame is 4 bytes a pixel in any order of red, green and blue (the byte offsets say where each lies),
// the fourth byte ignored, as the screen cast's formats come. Each mean is the one AverageColour gives of
// the same pixels: exact sums, rounded to the nearest integer with ties to the even neighbour.

#include <QRect>
#include <QtGlobal>
#include <span>
#include <vector>

struct FrameBytes {
    const uchar* data = nullptr;  // the top left pixel
    qsizetype bytesPerLine = 0;
    int red = 2, green = 1, blue = 0;  // byte offsets within a pixel
};

// The mean colour (0x00BBGGRR) of each of `rects`, in their order; black for an empty one. Every rectangle
// must lie wholly on the frame.
std::vector<quint32> AreaMeans(const FrameBytes& frame, std::span<const QRect> rects);
