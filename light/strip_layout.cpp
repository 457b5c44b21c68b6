#include "light/strip_layout.h"

#include <algorithm>

namespace {

// How deep a band is: `depth` percent of `across` pixels, rounded down, at least one pixel.
int BandDepth(int depth, int across) {
    return std::max(1, int(qint64(depth) * across / 100));
}

// The bands of the four sides, in pixels: the depth of each (0 for a side without LEDs) and the span the left
// and right bands run along, between the top and bottom ones.
struct Bands {
    int top, right, bottom, left;
    int sideStart, sideLength;
};

Bands BandsOf(const StripLayout& layout, QSize screen) {
    const int across = BandDepth(layout.depth, screen.height());
    const int along = BandDepth(layout.depth, screen.width());
    Bands bands{layout.top > 0 ? across : 0,
                layout.right > 0 ? along : 0,
                layout.bottom > 0 ? across : 0,
                layout.left > 0 ? along : 0,
                0,
                0};
    bands.sideStart = bands.top;
    bands.sideLength = screen.height() - bands.top - bands.bottom;
    return bands;
}

// Where run i of n starts along a length: floor(i * length / n).
int RunStart(int length, int n, int i) {
    return int(qint64(length) * i / n);
}

// The n runs of [start, start + length), first to last.
std::vector<std::pair<int, int>> Runs(int start, int length, int n) {
    std::vector<std::pair<int, int>> runs;
    runs.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const int from = start + RunStart(length, n, i);
        runs.emplace_back(from, start + RunStart(length, n, i + 1) - from);
    }
    return runs;
}

// Every LED's area, clockwise from the top left corner: the top side left to right, the right side down, the
// bottom side right to left (around the gap), the left side up.
std::vector<QRect> ClockwiseFromTopLeft(const StripLayout& layout, QSize screen) {
    const Bands bands = BandsOf(layout, screen);
    const int width = screen.width();
    const int height = screen.height();
    std::vector<QRect> areas;
    areas.reserve(size_t(layout.Count()));
    for (const auto& [x, w] : Runs(0, width, layout.top)) areas.emplace_back(x, 0, w, bands.top);
    for (const auto& [y, h] : Runs(bands.sideStart, bands.sideLength, layout.right))
        areas.emplace_back(width - bands.right, y, bands.right, h);
    if (layout.bottom > 0) {
        const auto runs = Runs(0, width, layout.bottom + layout.bottomGap);
        const int leftOfGap = layout.bottom / 2;
        const int rightOfGap = layout.bottom - leftOfGap;
        for (int i = 0; i < layout.bottom; ++i) {
            // Right to left: the right part's runs are the last ones, the left part's the first ones.
            const int run = i < rightOfGap ? int(runs.size()) - 1 - i : layout.bottom - 1 - i;
            areas.emplace_back(runs[size_t(run)].first, height - bands.bottom, runs[size_t(run)].second,
                               bands.bottom);
        }
    }
    const auto leftRuns = Runs(bands.sideStart, bands.sideLength, layout.left);
    for (auto run = leftRuns.rbegin(); run != leftRuns.rend(); ++run)
        areas.emplace_back(0, run->first, bands.left, run->second);
    return areas;
}

// Where the clockwise list above reaches `corner`: the index of the first LED after it.
qint64 CornerIndex(const StripLayout& layout, StripCorner corner) {
    switch (corner) {
        case StripCorner::TopLeft:
            return 0;
        case StripCorner::TopRight:
            return layout.top;
        case StripCorner::BottomRight:
            return qint64(layout.top) + layout.right;
        case StripCorner::BottomLeft:
            break;
    }
    return qint64(layout.top) + layout.right + layout.bottom;
}

// The part of the block that `area` (in the block's pixels) covers; an empty block when none.
PixelBlock Part(const PixelBlock& block, const QRect& area) {
    const QRect inside = area.intersected(QRect(0, 0, block.width, block.height));
    if (inside.isEmpty()) return {};
    return {block.data + inside.top() * block.bytesPerLine + 4 * qsizetype(inside.left()), inside.width(),
            inside.height(), block.bytesPerLine};
}

quint32 LevelComponent(int level) {
    return quint32((std::clamp(level, 0, MaxLevel) * 255 + MaxLevel / 2) / MaxLevel);
}

}  // namespace

QString StripLayoutFault(const StripLayout& layout, QSize screen) {
    if (layout.top < 0 || layout.right < 0 || layout.bottom < 0 || layout.left < 0)
        return QStringLiteral("Число светодиодов на стороне не может быть отрицательным.");
    if (layout.Count() == 0) return QStringLiteral("На ленте нет ни одного светодиода.");
    if (layout.Count() > MaxStripLeds)
        return QStringLiteral("Светодиодов на ленте больше %1 (всего %2).")
            .arg(MaxStripLeds)
            .arg(layout.Count());
    if (layout.bottomGap < 0) return QStringLiteral("Промежуток внизу не может быть отрицательным.");
    if (layout.depth < 1 || layout.depth > MaxStripDepth)
        return QStringLiteral("Глубина зоны светодиода должна быть от 1 до %1 %.").arg(MaxStripDepth);
    if (screen.width() <= 0 || screen.height() <= 0) return QStringLiteral("Размер экрана неизвестен.");

    const Bands bands = BandsOf(layout, screen);
    if (bands.top + bands.bottom > screen.height() || bands.left + bands.right > screen.width())
        return QStringLiteral("Экран слишком мал для такой глубины зоны.");
    const auto tooMany = [](const char* side, qint64 leds, int pixels) {
        return QStringLiteral("%1 светодиодов больше, чем точек вдоль стороны экрана (%2 > %3).")
            .arg(QString::fromUtf8(side))
            .arg(leds)
            .arg(pixels);
    };
    if (layout.top > screen.width()) return tooMany("Сверху", layout.top, screen.width());
    if (layout.bottom > 0 && qint64(layout.bottom) + layout.bottomGap > screen.width())
        return tooMany("Снизу (с промежутком)", qint64(layout.bottom) + layout.bottomGap, screen.width());
    if (layout.right > bands.sideLength) return tooMany("Справа", layout.right, bands.sideLength);
    if (layout.left > bands.sideLength) return tooMany("Слева", layout.left, bands.sideLength);
    return {};
}

std::vector<QRect> LedAreas(const StripLayout& layout, QSize screen) {
    if (!StripLayoutFault(layout, screen).isEmpty()) return {};
    std::vector<QRect> areas = ClockwiseFromTopLeft(layout, screen);
    std::rotate(areas.begin(), areas.begin() + CornerIndex(layout, layout.start), areas.end());
    if (layout.direction == StripDirection::CounterClockwise) std::reverse(areas.begin(), areas.end());
    return areas;
}

std::vector<Zone> LedZones(std::span<const QRect> areas, QSize screen) {
    std::vector<Zone> zones;
    zones.reserve(areas.size());
    for (const QRect& area : areas) {
        // Twice the centre, in the pixels' own edges, so that the comparison stays in integers.
        const bool leftHalf = 2 * qint64(area.left()) + area.width() <= screen.width();
        const bool upperHalf = 2 * qint64(area.top()) + area.height() <= screen.height();
        zones.push_back(leftHalf ? (upperHalf ? LeftUpperZone : LeftLowerZone)
                                 : (upperHalf ? RightUpperZone : RightLowerZone));
    }
    return zones;
}

std::vector<quint32> ZoneColoursOnStrip(const std::array<int, ChannelCount>& levels,
                                        std::span<const Zone> zones) {
    std::vector<quint32> colours;
    colours.reserve(zones.size());
    for (const Zone& zone : zones) {
        const auto component = [&levels](char channel) {
            return LevelComponent(levels[size_t(channel - FirstChannel)]);
        };
        colours.push_back(component(zone.red) | component(zone.green) << 8 | component(zone.blue) << 16);
    }
    return colours;
}

std::vector<quint32> AreaColours(const PixelBlock& pixels, QPoint origin, std::span<const QRect> areas) {
    std::vector<quint32> colours;
    colours.reserve(areas.size());
    for (const QRect& area : areas) colours.push_back(AverageColour(Part(pixels, area.translated(-origin))));
    return colours;
}
