#pragma once

// A screen capture over an image instead of a display, for AmbiLight's tick offscreen: the image is the whole
// desktop, its top left the desktop's. A test repaints `desktop` between ticks, or makes captures fail.

#include <QImage>
#include <stdexcept>

#include "light/screen_capture.h"
#include "light/strip_layout.h"

class ImageCapture final : public ScreenCapture {
public:
    explicit ImageCapture(QImage image) : desktop(image.convertToFormat(QImage::Format_RGB32)) {}

    QImage desktop;           // 0xffRRGGBB per pixel, as the X server hands pixels at depth 24
    int failingFrom = Slots;  // captures of this slot and the later ones fail

    PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area) override {
        if (slot >= failingFrom) throw std::runtime_error("Screen capture failed");
        const QRect part = ClipRect(screen.left() + area.left, screen.top() + area.top, ZoneWidth, ZoneHeight,
                                    desktop.rect());
        if (part.isEmpty()) return {};
        return {desktop.constScanLine(part.top()) + part.left() * 4, part.width(), part.height(),
                desktop.bytesPerLine()};
    }
    std::vector<quint32> LedColours(const QRect& screen, std::span<const QRect> areas) override {
        if (failingFrom < Slots) throw std::runtime_error("Screen capture failed");
        const PixelBlock whole{desktop.constBits(), desktop.width(), desktop.height(),
                               desktop.bytesPerLine()};
        return AreaColours(whole, -screen.topLeft(), areas);
    }
};
