#include "platform/wayland/frame_geometry.h"

namespace {

bool quarterTurned(FrameTransform transform) {
    switch (transform) {
        case FrameTransform::Rotated90:
        case FrameTransform::Rotated270:
        case FrameTransform::Flipped90:
        case FrameTransform::Flipped270:
            return true;
        default:
            return false;
    }
}

// The buffer's pixel, relative to the crop, that shows pixel (x, y) of a picture `width` x `height`.
QPoint bufferPixel(FrameTransform transform, int x, int y, int width, int height) {
    switch (transform) {
        case FrameTransform::None:
            return {x, y};
        case FrameTransform::Rotated90:
            return {y, width - 1 - x};
        case FrameTransform::Rotated180:
            return {width - 1 - x, height - 1 - y};
        case FrameTransform::Rotated270:
            return {height - 1 - y, x};
        case FrameTransform::Flipped:
            return {width - 1 - x, y};
        case FrameTransform::Flipped90:
            return {y, x};
        case FrameTransform::Flipped180:
            return {x, height - 1 - y};
        case FrameTransform::Flipped270:
            return {height - 1 - y, width - 1 - x};
    }
    return {x, y};
}

}  // namespace

QSize FrameGeometry::PictureSize() const {
    return quarterTurned(transform) ? crop.size().transposed() : crop.size();
}

QRect FrameGeometry::BufferRect(const QRect& part) const {
    const QSize picture = PictureSize();
    const QRect on = part & QRect(QPoint(0, 0), picture);
    if (on.isEmpty()) return {};
    const QPoint first = bufferPixel(transform, on.left(), on.top(), picture.width(), picture.height());
    const QPoint last = bufferPixel(transform, on.right(), on.bottom(), picture.width(), picture.height());
    return QRect(QPoint(qMin(first.x(), last.x()), qMin(first.y(), last.y())),
                 QPoint(qMax(first.x(), last.x()), qMax(first.y(), last.y())))
        .translated(crop.topLeft());
}

FrameGeometry FrameGeometryOf(QSize bufferSize, const QRect& crop, quint32 transform) {
    const QRect buffer(QPoint(0, 0), bufferSize);
    FrameGeometry geometry;
    geometry.crop = crop.isEmpty() ? buffer : crop & buffer;
    if (transform <= quint32(FrameTransform::Flipped270)) geometry.transform = FrameTransform(transform);
    return geometry;
}

QRect ScaledToPicture(const QRect& part, QSize screen, QSize picture) {
    if (screen == picture || screen.isEmpty()) return part;
    // Edges scaled down (left and top) and up (right and bottom).
    const auto low = [](qint64 at, int to, int from) { return int(at * to / from); };
    const auto high = [](qint64 at, int to, int from) { return int((at * to + from - 1) / from); };
    return QRect(QPoint(low(part.left(), picture.width(), screen.width()),
                        low(part.top(), picture.height(), screen.height())),
                 QPoint(high(part.right() + 1, picture.width(), screen.width()) - 1,
                        high(part.bottom() + 1, picture.height(), screen.height()) - 1));
}
