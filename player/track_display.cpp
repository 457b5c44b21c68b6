#include "player/track_display.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace track_display {

std::string FormatTime(double seconds) {
    if (!(seconds >= 0) || !std::isfinite(seconds)) return "00:00:00";
    if (seconds >= 1e12) seconds = std::fmod(seconds, 86400.0);  // whole days drop out of the display anyway
    const auto ms = static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    const std::int64_t whole = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(whole / 3600 % 24),
                  static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
    return text;
}

int SliderShift(std::int64_t length) {
    int shift = 0;
    while ((length >> shift) > std::numeric_limits<std::int32_t>::max()) ++shift;
    return shift;
}

std::int32_t ToSlider(std::int64_t bytes, int shift) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes >> shift)));
}

std::int64_t FromSlider(std::int32_t value, int shift) {
    if (value < 0) return value;
    return static_cast<std::int64_t>(value) << shift;
}

}  // namespace track_display
