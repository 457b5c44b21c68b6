#pragma once

// An addressable LED strip around the screen: where each LED sits and what part of the screen it shows.
//
// The strip runs along the screen's four sides, with a number of LEDs on each (top, right, bottom, left; a
// side may have none). It starts at one of the four corners and runs clockwise or counter-clockwise, both as
// the viewer sees the screen from the front, so LED 0 is the first LED after its start corner and the LEDs
// follow the strip from there. The bottom side may leave a gap in its middle for the screen's stand.
//
// Each LED looks at a rectangle of the screen's edge: the side's band, as deep as `depth` percent of the
// screen's height (top and bottom) or of its width (left and right), rounded down and never under one pixel.
// The top and bottom bands run the full width of the screen and so own the four corners; the left and right
// bands run between them. A side without LEDs has no band, and its neighbours' bands reach the screen's edge
// there. A side's LEDs cut its band along its length into runs of equal size as near as whole pixels allow:
// run i of n over a length L starts at floor(i * L / n), so every pixel of a band belongs to exactly one LED.
//
// The gap: the bottom band is cut into bottom + gap runs, as if the gap were LEDs too, and the gap takes the
// middle runs. bottom / 2 LEDs (rounded down) lie left of it and the rest right of it, so with an odd number
// of bottom LEDs the right part has the extra one. The gap's pixels belong to no LED. Without bottom LEDs a
// gap means nothing and is not looked at.
//
// A strip holds at most 1000 LEDs: that covers the densest common strips (144 LEDs a metre) around an
// 85-inch screen, and at 2,000,000 baud an Adalight line carries a frame of 1000 LEDs in 15 ms, so the light
// still follows a 60 frames/s picture. A longer strip would only slow every output down.

#include <QRect>
#include <QSize>
#include <QString>
#include <span>
#include <vector>

#include "light/average_colour.h"
#include "light/light_protocol.h"

enum class StripCorner { TopLeft, TopRight, BottomRight, BottomLeft };
enum class StripDirection { Clockwise, CounterClockwise };

inline constexpr int MaxStripLeds = 1000;
inline constexpr int MaxStripDepth = 50;  // percent: opposite bands never overlap

struct StripLayout {
    int top = 30;  // LEDs on each side
    int right = 17;
    int bottom = 30;
    int left = 17;
    StripCorner start = StripCorner::BottomLeft;
    StripDirection direction = StripDirection::Clockwise;
    int bottomGap = 0;  // runs of the bottom band left dark in its middle, counted as LEDs
    int depth = 10;     // percent, 1 to MaxStripDepth

    // The LEDs on all sides (64 bits, so that no count overflows it).
    qint64 Count() const { return qint64(top) + right + bottom + left; }

    bool operator==(const StripLayout&) const = default;
};

// Why `layout` cannot be laid around a screen of that size, in words for the user; empty when it can. It
// cannot when it has no LEDs or more than MaxStripLeds, a negative count or gap, a depth outside 1 to
// MaxStripDepth, more LEDs on a side (with the gap on the bottom) than that side has pixels along it, or a
// screen too small for two opposite bands.
QString StripLayoutFault(const StripLayout& layout, QSize screen);

// Each LED's rectangle in the pixels of a screen of that size (its top left pixel at 0, 0), LED 0 first;
// empty when StripLayoutFault finds a fault.
std::vector<QRect> LedAreas(const StripLayout& layout, QSize screen);

// Colour music on the strip. The board's four zones sit at the screen's left and right edges, upper and lower
// (see light_protocol.h); on the strip each LED takes the zone of the screen's quarter its area's centre lies
// in: the top side's left half the left upper zone, its right half the right upper one, the left side's upper
// half the left upper zone, its lower half the left lower one, and so on round the screen. An LED centred
// exactly on a middle line goes to the left or the upper zone.
std::vector<Zone> LedZones(std::span<const QRect> areas, QSize screen);

// The colours (0x00BBGGRR) of the LEDs for the levels of the board's twelve channels (A first, 0 to 8, as the
// colour-music commands leave them; BoardParser keeps them so), each LED in its zone's colour. A level n is
// n / 8 of the component's full 255, rounded to the nearest integer, halves up (level 4 gives 128).
std::vector<quint32> ZoneColoursOnStrip(const std::array<int, ChannelCount>& levels,
                                        std::span<const Zone> zones);

// AmbiLight on the strip: the mean colour of each area, as AverageColour gives it, over `pixels`, whose top
// left pixel lies at `origin` in the same pixels as the areas. An area partly outside the block averages the
// part inside it; one wholly outside is black.
std::vector<quint32> AreaColours(const PixelBlock& pixels, QPoint origin, std::span<const QRect> areas);
