#pragma once

// Screen capture from the X server, for AmbiLight's zones. The adapter keeps a connection of its own and one
// image per slot (one slot per zone) between grabs: with the MIT-SHM extension the image is a shared-memory
// segment that the server fills in place, so a grab is one request and no copy. A slot's image is made anew
// when the part of its rectangle on the screen changes size, as it does when the screen is resized. Where the
// server has no usable MIT-SHM (a remote display), plain XGetImage is used, and one line on stderr says so.
//
// The server reports what is drawn anywhere on the screen (the DAMAGE extension, on the root window, which
// covers every window on it): a slot asked again for the same part is grabbed only when something was drawn
// over that part since its last grab; otherwise its image still holds the pixels. Without DAMAGE every
// request grabs. A tick's grabs go to the server together and their replies are read as the zones are asked
// for, so the tick waits for the server once and not once per zone; a tick that finds nothing drawn waits
// once too, for what the server may be drawing at that moment.
//
// A rectangle is clipped to the root window before the grab (the server refuses one that reaches outside it);
// the pixels outside the root are not part of the result. Coordinates are the root window's.
//
// An LED strip's areas are read from the bands along the screen's edges they lie in, not one by one: the
// areas are put in (at most) four groups, each by the edge of the screen it lies nearest, and each group's
// bounding rectangle (its band) is read into an image of its own kept between calls, all bands asked for
// together and only one drawn over since it was last read; an unchanged band gives the means found then
// again.
//
// Where the server has the RENDER extension and shared-memory pixmaps, a band is not grabbed whole: the
// server copies a sample of it, the root window's pixels at even coordinates (every 2nd pixel of every 2nd
// row), into a shared-memory pixmap (XRender with a scaling transform and the nearest filter), and each
// area's mean is the mean of its pixels in the sample, rounded as AverageColour rounds. Grabbing 300 LEDs'
// bands whole 100 times a second costs too much: the XShm grabs alone cost about 40 % of grabbing the whole
// screen, and summing them waits on memory about as long again. On a photograph the sample's means lie within
// 1 of the full means on average (worst 7 of 255; on noise 2, worst 9). A band with an area less than 2
// pixels wide or high on the root window (which may hold no sample) is grabbed whole, as are all bands where
// the server cannot sample; those means are exact. A sample drawn from a root that has just shrunk is black
// where the root is gone, until the next call reads of the resize.
//
// The means are summed in one pass over each band's rows, column by column over the rows that the same
// areas cover, and each area then takes its columns' sums. The areas of LedAreas fill their bands wholly, so
// nothing is read that no LED shows; other areas still get their means, from bands that may hold more than
// they need.
//
// Errors are raised as std::runtime_error: "Cannot open display ..." when the X server cannot be reached,
// "Screen capture failed" when the server refuses a grab even after the screen's size was read afresh.

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <memory>

#include "light/screen_capture.h"

class ScreenCaptureX11 final : public ScreenCapture {
public:
    // Connects to `displayName`, or to the display named by $DISPLAY when it is empty.
    explicit ScreenCaptureX11(const QByteArray& displayName = {});
    ~ScreenCaptureX11() override;
    ScreenCaptureX11(const ScreenCaptureX11&) = delete;
    ScreenCaptureX11& operator=(const ScreenCaptureX11&) = delete;

    // The root window's size now, following every resize the server has reported.
    QSize RootSize();
    // The pixels of the part of the width x height rectangle at (left, top) that lies on the root window,
    // grabbed into `slot` (0..Slots-1) and valid until that slot's next grab; an empty block when no part
    // does.
    PixelBlock Grab(int slot, qint64 left, qint64 top, int width, int height);
    bool SharedMemory() const;
    // Whether the server reports drawing (DAMAGE), so that unchanged zones are not grabbed again.
    bool WatchesDamage() const;

    // Sends the grabs of every zone whose pixels are not known to be current, all at once; each zone's
    // capture below then reads its reply.
    void Prepare(const QRect& screen, const std::array<ZoneArea, Slots>& areas) override;
    // The zone's rectangle grabbed as above, `screen` placed on the root window.
    PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area) override;
    // Its mean, averaged again only when the pixels were grabbed anew.
    quint32 ZoneColour(int slot, const QRect& screen, const ZoneArea& area) override;

    // Each LED area's mean, as above, `screen` placed on the root window.
    std::vector<quint32> LedColours(const QRect& screen, std::span<const QRect> areas) override;
    // How many times LedColours has grabbed or sampled a band so far, for the tests and the benchmark.
    qint64 BandGrabs() const;

private:
    struct Private;
    std::unique_ptr<Private> d_;
};
