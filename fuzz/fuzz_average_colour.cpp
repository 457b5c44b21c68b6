// Blocks of screen pixels of odd sizes and row strides: the mean colour, against the sums worked out here.

#include <fuzzer/FuzzedDataProvider.h>
#include <cmath>

#include "fuzz/fuzz_check.h"
#include "light/average_colour.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int width = input.ConsumeIntegralInRange(0, 64);
    const int height = input.ConsumeIntegralInRange(0, 64);
    const int padding = input.ConsumeIntegralInRange(0, 13);
    const std::vector<uchar> pixels = input.ConsumeRemainingBytes<uchar>();
    const qsizetype bytesPerLine = qsizetype(width) * 4 + padding;
    // As many whole rows as the bytes hold, the last one without its padding.
    int rows = 0;
    while (rows < height && qsizetype(rows) * bytesPerLine + width * 4 <= qsizetype(pixels.size())) ++rows;

    const quint32 colour = AverageColour({pixels.data(), width, rows, bytesPerLine});
    quint64 sums[3] = {};
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < width; ++column)
            for (int c = 0; c < 3; ++c) sums[c] += pixels[row * bytesPerLine + column * 4 + c];  // B, G, R
    const quint64 count = quint64(width) * quint64(rows);
    const auto mean = [&](int c) {
        return count ? quint32(std::nearbyint(double(sums[c]) / double(count))) : 0u;
    };
    FUZZ_CHECK(colour == (mean(0) << 16 | mean(1) << 8 | mean(2)));
    return 0;
}
