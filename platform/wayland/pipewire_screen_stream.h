#pragma once

// The receiving end of a screen-cast video stream on a PipeWire remote (the descriptor the desktop portal
// hands out): a stream of our own linked to the portal's node, run on PipeWire's own thread.
//
// Only the newest frame is kept: when a frame arrives, the one kept before goes back to the producer at once,
// so nothing queues up and the producer never waits for us for long. Zones are copied out of the kept frame
// under a lock, converted to the 0xXXRRGGBB words AverageColour reads; a strip's many LED areas are averaged
// under it in one pass over the frame (see AreaMeans). The frame stays ours until a newer one replaces it,
// so a still screen (a compositor sends no frames while nothing changes) keeps its last picture.
//
// The buffers come as DMA-BUF of a linear layout (mapped for reading, as a compositor that renders on the GPU
// prefers to hand them out) or as shared memory, whichever the producer offers; a tiled DMA-BUF layout is not
// asked for, as reading one would take the GPU. Each buffer may say where in it the picture lies (a crop) and
// how it is turned (see FrameGeometry): zones are asked for in the picture's pixels and read where the buffer
// holds them.
//
// A stream that stays connected but gives no usable picture (see StreamHealth for what counts) is reported
// through Starved, once.

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <span>
#include <vector>

#include "light/average_colour.h"

class PipeWireScreenStream : public QObject {
    Q_OBJECT

public:
    // Takes ownership of `remoteFd` (closed on every path) and asks for node `node` on it. A failure to
    // connect is reported through Ended as a failure while running would be.
    PipeWireScreenStream(int remoteFd, quint32 node, QObject* parent = nullptr);
    ~PipeWireScreenStream() override;

    // The size of the newest frame's picture: its buffer's crop, width and height swapped by a quarter turn;
    // empty until the first frame has arrived.
    QSize FrameSize() const;
    bool HasFrame() const;
    // How many frames have arrived so far.
    quint64 FramesReceived() const;

    // The pixels of `rect` (in the picture's pixels, clipped to the picture) of the newest frame, copied into
    // `into` and described by the returned block, in the buffer's order (a turned picture gives them turned,
    // which their mean does not mind); an empty block when there is no frame or no overlap.
    PixelBlock Copy(const QRect& rect, std::vector<quint32>& into) const;

    // The mean colour of each of `rects` (in the picture's pixels, each clipped to the picture) of the
    // newest frame, as AverageColour gives it of the pixels Copy would give; read in one pass under the lock,
    // black for a rectangle off the picture. `frame` names the frame whose means the caller holds in
    // `means`: when the newest frame is still that one, nothing is read or changed and false is returned.
    // Otherwise `means` becomes those of the newest frame (all black when there is none), `frame` its
    // number (0 for none), and true is returned.
    bool Means(std::span<const QRect> rects, quint64& frame, std::vector<quint32>& means) const;
    // How many times pixels were read out of a frame (a Copy, or a Means that did not reuse), so that what
    // a still screen costs can be seen.
    quint64 Reads() const;

signals:
    // The first frame has arrived (sent once, on the object's thread).
    void FirstFrame();
    // A new frame is kept. Sent on the object's thread; frames that arrive before it is delivered are told
    // by the same signal.
    void NewFrame();
    // The stream is over: the producer went away, the link broke, or it never connected. `reason` is
    // PipeWire's own text, for the log; sent once, on the object's thread.
    void Ended(const QString& reason);
    // The stream goes on without a usable picture, as StreamHealth tells. Sent once, on the object's thread,
    // instead of Ended: the stream counts as over.
    void Starved();

private:
    struct Private;
    std::unique_ptr<Private> d_;
};
