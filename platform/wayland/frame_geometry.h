#pragma once

// Where the screen's picture lies in a screen-cast buffer. A compositor may send more than the picture: a
// buffer larger than the monitor with the picture cropped out of it (the crop, in the buffer's pixels), and
// the picture turned or mirrored as the monitor is mounted (the transform: what was done to the picture to
// give the buffer; in PipeWire's order, a quarter, half or three-quarter turn counter-clockwise, and the same
// after a mirror about the vertical axis). The picture's size is the crop's, with width and height swapped
// by a quarter turn.
//
// A rectangle of the picture lies on one rectangle of the buffer whatever the transform; its pixels come
// there in the buffer's order (turned or mirrored), which an average does not mind.

#include <QRect>
#include <QSize>

enum class FrameTransform : quint32 {
    None,
    Rotated90,
    Rotated180,
    Rotated270,
    Flipped,
    Flipped90,
    Flipped180,
    Flipped270,
};

struct FrameGeometry {
    QRect crop;
    FrameTransform transform = FrameTransform::None;

    QSize PictureSize() const;
    // The buffer's pixels that show `part` of the picture, clipped to the picture; empty when no part lies
    // on it.
    QRect BufferRect(const QRect& part) const;
};

// The geometry of a buffer of `bufferSize` pixels with the producer's `crop` (an empty one means the whole
// buffer; one reaching past the buffer keeps its part on it, which may be none) and `transform` (a value
// PipeWire does not define counts as none).
FrameGeometry FrameGeometryOf(QSize bufferSize, const QRect& crop, quint32 transform);

// `part` of a screen of `screen` pixels on a picture of `picture` pixels (the stream may be scaled): scaled
// proportionally, the left and top edges rounded down and the right and bottom ones up, so that a part never
// maps to nothing.
QRect ScaledToPicture(const QRect& part, QSize screen, QSize picture);
