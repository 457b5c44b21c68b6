#include "platform/wayland/area_means.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "light/average_colour.h"

namespace {

static_assert(std::endian::native == std::endian::little, "a pixel's bytes are read from its word");

// Within a run of at most 256 pixels the masked words can be added as they are: every byte sits in a 16-bit
// lane of its own (bytes 0 and 2 in one word, 1 and 3 in the other), and 256 x 255 still fits a lane.
constexpr int RunPixels = 256;

using ByteSums = std::array<quint64, 4>;  // per byte offset within a pixel

void addRun(const uchar* from, int pixels, ByteSums& sums) {
    for (int start = 0; start < pixels; start += RunPixels) {
        const int end = std::min(pixels, start + RunPixels);
        quint32 even = 0, odd = 0;
        for (int i = start; i < end; ++i) {
            quint32 word;
            std::memcpy(&word, from + 4 * i, sizeof word);
            even += word & 0x00FF00FFu;
            odd += (word >> 8) & 0x00FF00FFu;
        }
        sums[0] += even & 0xFFFFu;
        sums[2] += even >> 16;
        sums[1] += odd & 0xFFFFu;
        sums[3] += odd >> 16;
    }
}

}  // namespace

std::vector<quint32> AreaMeans(const FrameBytes& frame, std::span<const QRect> rects) {
    // The rectangles by their top row; those crossing the current row, by their left edge, so that a row is
    // read from left to right.
    std::vector<int> byTop;
    byTop.reserve(rects.size());
    for (size_t i = 0; i < rects.size(); ++i)
        if (!rects[i].isEmpty()) byTop.push_back(int(i));
    std::stable_sort(byTop.begin(), byTop.end(),
                     [&](int a, int b) { return rects[size_t(a)].top() < rects[size_t(b)].top(); });
    const auto leftOf = [&](int a, int b) { return rects[size_t(a)].left() < rects[size_t(b)].left(); };

    std::vector<ByteSums> sums(rects.size(), ByteSums{});
    std::vector<int> crossing;
    size_t next = 0;
    int row = 0;
    while (next < byTop.size() || !crossing.empty()) {
        if (crossing.empty()) row = rects[size_t(byTop[next])].top();  // skip the rows no one looks at
        for (; next < byTop.size() && rects[size_t(byTop[next])].top() <= row; ++next)
            crossing.insert(std::upper_bound(crossing.begin(), crossing.end(), byTop[next], leftOf),
                            byTop[next]);
        const uchar* line = frame.data + frame.bytesPerLine * row;
        for (const int i : crossing) {
            const QRect& rect = rects[size_t(i)];
            addRun(line + 4 * qsizetype(rect.left()), rect.width(), sums[size_t(i)]);
        }
        ++row;
        std::erase_if(crossing, [&](int i) { return rects[size_t(i)].bottom() < row; });
    }

    std::vector<quint32> means(rects.size(), 0);
    for (size_t i = 0; i < rects.size(); ++i) {
        if (rects[i].isEmpty()) continue;
        const quint64 count = quint64(rects[i].width()) * quint64(rects[i].height());
        const ByteSums& s = sums[i];
        means[i] = MeanColour(s[size_t(frame.red)], s[size_t(frame.green)], s[size_t(frame.blue)], count);
    }
    return means;
}
