#pragma once

// The channel strip: nine channel logos side by side on a panel wider than the screen, with a marker under
// the selected one. Stepping to the next channel moves the marker under the new logo and, from the fifth
// channel on, slides the panel left by the width of the logo just left behind so the selection stays in view.
// After the ninth channel the strip starts over at the first.

#include <QRect>
#include <array>

inline constexpr int LogoCount = 9;

// Where each logo sits on the panel, channels 1 to 9.
inline constexpr std::array<QRect, LogoCount> LogoPlaces{{
    {64, 16, 168, 147},
    {312, 24, 122, 128},
    {536, 32, 125, 106},
    {768, 48, 229, 89},
    {1104, 24, 152, 127},
    {1355, 40, 254, 99},
    {1708, 16, 326, 129},
    {2128, 26, 152, 127},
    {2385, 24, 124, 125},
}};

// The selected channel (1 to 9), the panel's left edge and the marker's left edge.
struct StripPosition {
    int channel;
    int panelLeft;
    int markerLeft;
    bool operator==(const StripPosition&) const = default;
};

// The strip as created: the first channel, the panel at 0, the marker at 100. The marker's start is fixed; it
// is not where the stepping rule would put it under the first logo (110), and the first channel is recognised
// by exactly this marker position.
inline constexpr StripPosition StripStart{1, 0, 100};

// The position one step on from `now`: the panel moves left by the width of the current logo once the
// channel is past the third, the marker goes to the next logo's left edge plus half its width minus 38, and
// the ninth channel (or any channel out of range) steps back to StripStart.
StripPosition NextChannel(StripPosition now);
