#include "platform/wayland/stream_led_colours.h"

#include <algorithm>

#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/pipewire_screen_stream.h"

std::vector<quint32> StreamLedColours::Of(const PipeWireScreenStream& stream, QSize screen,
                                          std::span<const QRect> areas) {
    const QSize picture = stream.FrameSize();
    if (screen != screen_ || picture != picture_ || !std::ranges::equal(areas, areas_)) {
        screen_ = screen;
        picture_ = picture;
        areas_.assign(areas.begin(), areas.end());
        onPicture_.clear();
        const QRect onScreen(QPoint(0, 0), screen);
        for (const QRect& area : areas) {
            const QRect part = area & onScreen;
            onPicture_.push_back(
                part.isEmpty() || picture.isEmpty() ? QRect() : ScaledToPicture(part, screen, picture));
        }
        frame_ = 0;  // whatever frame the kept means are of, they are of other areas
    }
    // A frame of another size may arrive between FrameSize and the read; its means are read with the old
    // mapping once, and the next call finds the new size and reads them again.
    stream.Means(onPicture_, frame_, means_);
    return means_;
}
