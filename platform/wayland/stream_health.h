#pragma once

// Whether a screen-cast stream still gives AmbiLight a picture.
//
// A compositor sends a buffer when the screen has changed: a still screen sends nothing at all, or buffers
// with no picture in them (a cursor's move, damage news). So neither silence nor empty buffers after a good
// frame are a fault: the lights keep the last picture, which is still the screen's. What is:
// - no usable frame within Patience of the stream's start (or of a new format, which drops the frame kept),
//   whatever arrived meanwhile: empty buffers, broken ones or nothing;
// - after a usable frame, broken buffers (a picture that cannot be read: flagged corrupted, not mapped, or
//   too short for the frame) arriving over Patience with no usable frame among them: the screen keeps
//   changing, and none of its changes can be seen. One broken buffer followed by a still screen is not.
//
// Times are milliseconds on one monotonic clock.

#include <QtGlobal>
#include <optional>

class StreamHealth {
public:
    static constexpr qint64 PatienceMs = 5000;

    explicit StreamHealth(qint64 startMs) : start_(startMs) {}

    // The stream (re)starts at `atMs` with no frame: a new format drops the one kept.
    void Restart(qint64 atMs);
    // A whole frame has arrived.
    void Usable();
    // A buffer has arrived with a picture that cannot be read. (One with no picture at all is not told.)
    void Broken(qint64 atMs);
    bool Starved(qint64 nowMs) const;

private:
    qint64 start_;
    bool framed_ = false;
    std::optional<qint64> firstBroken_;  // of the broken buffers since the last usable frame
    qint64 lastBroken_ = 0;
};
