#pragma once

// Where AmbiLight's tick takes the four zones' pixels of a screen. An adapter per desktop serves it (the X
// server's own capture, or the desktop portal's stream where the X server sees only part of the desktop);
// the tick, the zones and the averaging are the same over all of them.

#include <QRect>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "light/ambilight_zones.h"
#include "light/average_colour.h"

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // The tick captures its zones one by one in ZoneAreas' order; `slot` (0..3) is a zone's place in it, so
    // that an adapter may keep what it needs per zone between ticks.
    static constexpr int Slots = 4;

    // The tick names the zones it is about to capture, before it captures them one by one, so that an
    // adapter may ask for them all at once. Raises nothing: a failure shows at the zone's capture.
    virtual void Prepare(const QRect& /*screen*/, const std::array<ZoneArea, Slots>& /*areas*/) {}

    // The pixels of the ZoneWidth x ZoneHeight rectangle whose top left corner lies at `area` in the pixels
    // of `screen` (a screen of the desktop, placed where it lies on it), valid until the slot's next capture.
    // Only the part on the desktop is given; an empty block when no part is. Raises std::runtime_error when
    // the capture fails.
    virtual PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area) = 0;
    // The mean colour of those pixels, as AverageColour gives it. An adapter that knows the pixels are the
    // same as at the slot's last capture may give the mean it found then.
    virtual quint32 ZoneColour(int slot, const QRect& screen, const ZoneArea& area) {
        return AverageColour(ZonePixels(slot, screen, area));
    }

    // AmbiLight on an LED strip: the mean colour of each of `areas`, in their order, as AverageColour gives
    // it over the area's pixels, or over a regular sample of them (every 2nd pixel of every 2nd row, say)
    // where the adapter says it takes one: a strip's bands hold many times the zones' pixels. The areas are
    // rectangles in the pixels of `screen`, its top left pixel at 0, 0, as LedAreas lays them along the
    // screen's edges; a strip may have a thousand of them, so an adapter reads the edge bands they lie in
    // rather than each area on its own. The part of an area off the desktop is left out, and an area wholly
    // off it is black. An adapter that knows an area's pixels are the same as at its last call may give the
    // mean it found then. Raises std::runtime_error when the capture fails.
    virtual std::vector<quint32> LedColours(const QRect& /*screen*/, std::span<const QRect> /*areas*/) {
        throw std::runtime_error("This screen capture cannot light a strip");
    }

    // False while the capture has nothing to give yet (a desktop may first ask the user for consent); the
    // tick sends nothing until it is true.
    virtual bool Ready() const { return true; }
    // Whether the capture may serve AmbiLight's next run too. One that holds a session with the desktop
    // (shown to the user as screen sharing) ends with the run and is made anew at the next start.
    virtual bool Lasting() const { return true; }

    // Whether new frames come to the capture by themselves (a stream) and it tells the tick of each through
    // the notice the tick sets, on the tick's thread, once the frame is kept. The tick's timer then only
    // repeats the last frame of a still screen. One the tick reads from the screen at every tick (the X
    // server's) tells nothing.
    virtual bool TellsFrames() const { return false; }
    void SetFrameNotice(std::function<void()> notice) { frameNotice_ = std::move(notice); }

protected:
    void FrameKept() const {
        if (frameNotice_) frameNotice_();
    }

private:
    std::function<void()> frameNotice_;
};
