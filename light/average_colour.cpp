#include "light/average_colour.h"

#include <algorithm>
#include <cstring>

namespace {

// Within a run of at most 256 pixels, the masked words can be added as they are: each colour byte sits in a
// 16-bit lane of its own, and 256 x 255 still fits that lane, so no lane carries into the next. The loop is
// then plain 32-bit additions, which the compiler turns into vector code.
constexpr int RunPixels = 256;

quint32 roundedMean(quint64 sum, quint64 count) {
    quint64 mean = sum / count;
    const quint64 twiceRest = 2 * (sum % count);
    if (twiceRest > count || (twiceRest == count && (mean & 1))) ++mean;
    return quint32(mean);
}

}  // namespace

quint32 AverageColour(const PixelBlock& block) {
    if (block.width <= 0 || block.height <= 0) return 0;
    quint64 red = 0, green = 0, blue = 0;
    for (int row = 0; row < block.height; ++row) {
        const uchar* line = block.data + row * block.bytesPerLine;
        for (int start = 0; start < block.width; start += RunPixels) {
            const int end = std::min(block.width, start + RunPixels);
            quint32 redBlue = 0;  // red in lane 2, blue in lane 0
            quint32 green0 = 0;   // green in lane 0 (the ignored byte in lane 2)
            for (int i = start; i < end; ++i) {
                quint32 pixel;
                std::memcpy(&pixel, line + 4 * i, sizeof pixel);
                redBlue += pixel & 0x00FF00FFu;
                green0 += (pixel >> 8) & 0x00FF00FFu;
            }
            blue += redBlue & 0xFFFFu;
            red += redBlue >> 16;
            green += green0 & 0xFFFFu;
        }
    }
    return MeanColour(red, green, blue, quint64(block.width) * quint64(block.height));
}

quint32 MeanColour(quint64 red, quint64 green, quint64 blue, quint64 count) {
    if (count == 0) return 0;
    return roundedMean(red, count) | roundedMean(green, count) << 8 | roundedMean(blue, count) << 16;
}
