// Mode strings from settings.ini and the zone rectangles they place, on screens of any size.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdexcept>

#include "fuzz/fuzz_check.h"
#include "light/ambilight_zones.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QSize screen(input.ConsumeIntegralInRange(1, 1 << 15), input.ConsumeIntegralInRange(1, 1 << 15));
    const QString mode = QString::fromStdString(input.ConsumeRemainingBytesAsString());

    const auto parts = SplitMode(mode);
    if (!parts) {
        FUZZ_CHECK(!mode.contains(','));
        return 0;
    }
    FUZZ_CHECK(parts->left + ',' + parts->top == mode);
    qint64 x = 0, y = 0;
    try {
        x = ModeNumber(parts->left);
        y = ModeNumber(parts->top);
    } catch (const std::runtime_error&) {
        return 0;
    }
    const QRect bounds({0, 0}, screen);
    const auto areas = ZoneAreas(x, y, screen.width(), screen.height());
    const auto origins = ZoneOrigins(x, y, screen);
    for (size_t i = 0; i < areas.size(); ++i) {
        const QRect clipped = ClipRect(areas[i].left, areas[i].top, ZoneWidth, ZoneHeight, bounds);
        FUZZ_CHECK(clipped.isEmpty() || (bounds.contains(clipped) && clipped.width() <= ZoneWidth &&
                                         clipped.height() <= ZoneHeight));
        // Brought near the screen, a zone still covers the same part of it.
        FUZZ_CHECK(ClipRect(origins[i].x(), origins[i].y(), ZoneWidth, ZoneHeight, bounds) == clipped);
    }
    return 0;
}
