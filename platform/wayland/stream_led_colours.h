#pragma once

// AmbiLight on an LED strip from the screen cast's frames. Each LED's area is placed on the screen as the X
// server sees it and mapped onto the stream's picture as the zones are (ScaledToPicture, after leaving out
// the part off the screen), then averaged over the newest frame with the stream's crop and transform, all
// areas in one read of the frame.
//
// The means of the last frame read are kept: a call with the same frame and the same areas (the tick
// repeating a still screen's last frame) gives them again without reading a pixel.

#include <QRect>
#include <QSize>
#include <span>
#include <vector>

class PipeWireScreenStream;

class StreamLedColours {
public:
    // The mean colour (0x00BBGGRR) of each of `areas`, rectangles in the pixels of a screen of `screen`
    // pixels (its top left pixel at 0, 0), from `stream`'s newest frame; all black before the first frame.
    std::vector<quint32> Of(const PipeWireScreenStream& stream, QSize screen, std::span<const QRect> areas);

private:
    QSize screen_, picture_;
    std::vector<QRect> areas_;      // as last asked for
    std::vector<QRect> onPicture_;  // the same on the picture
    quint64 frame_ = 0;             // the frame `means_` are of
    std::vector<quint32> means_;
};
