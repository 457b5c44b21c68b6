#include "platform/wayland/stream_health.h"

void StreamHealth::Restart(qint64 atMs) {
    *this = StreamHealth(atMs);
}

void StreamHealth::Usable() {
    framed_ = true;
    firstBroken_.reset();
}

void StreamHealth::Broken(qint64 atMs) {
    if (!firstBroken_) firstBroken_ = atMs;
    lastBroken_ = atMs;
}

bool StreamHealth::Starved(qint64 nowMs) const {
    if (!framed_) return nowMs - start_ >= PatienceMs;
    return firstBroken_ && lastBroken_ - *firstBroken_ >= PatienceMs;
}
