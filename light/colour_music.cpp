#include "light/colour_music.h"

#include <array>
#include <string_view>

namespace {

// Indexed by step; step 0 has none. Items are written blue, red, green for each zone of the side.
constexpr std::array<std::string_view, 9> kRightPatterns{
    "",
    "A1 B0 C0 D1 E0 F0",
    "A2 B0 C0 D2 E0 F0",
    "A3 B0 C0 D3 E0 F0",
    "A4 B0 C0 D4 E0 F0",
    "A7 B6 C0 D7 E6 F0",
    "A7 B6 C0 D7 E6 F0",
    "A0 B8 C6 D0 E8 F6",
    "A0 B8 C5 D0 E8 F5",
};
constexpr std::array<std::string_view, 9> kLeftPatterns{
    "",
    "I1 H0 G0 L1 K0 J0",
    "I2 H0 G0 L2 K0 J0",
    "I3 H0 G0 L3 K0 J0",
    "I4 H0 G0 L4 K0 J0",
    "I7 H6 G0 L7 K6 J0",
    "I7 H6 G0 L7 K6 J0",
    "I0 H8 G6 L0 K8 J6",
    "I0 H8 G5 L0 K8 J5",
};

std::string_view pattern(const std::array<std::string_view, 9>& patterns, quint32 channelLevel) {
    const quint32 step = channelLevel / ColourMusicStep;
    return step < patterns.size() ? patterns[step] : std::string_view();
}

}  // namespace

QByteArray ColourMusicCommand(quint32 level) {
    const std::string_view right = pattern(kRightPatterns, level >> 16);
    const std::string_view left = pattern(kLeftPatterns, level & 0xFFFF);
    QByteArray command;
    command.reserve(qsizetype(right.size() + left.size()));
    command.append(right.data(), qsizetype(right.size()));
    command.append(left.data(), qsizetype(left.size()));
    return command;
}
