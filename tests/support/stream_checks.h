#pragma once

// Reading a stream's length and position as signed numbers, and waiting for a paused stream to stand still.

#include <QTest>
#include <cstdint>

#include "player/audio_library.h"

inline std::int64_t length(HSTREAM h) {
    return static_cast<std::int64_t>(BASS_ChannelGetLength(h, 0));
}

inline std::int64_t position(HSTREAM h) {
    return static_cast<std::int64_t>(BASS_ChannelGetPosition(h, 0));
}

// The position of a paused stream once its pause has taken hold; -1 when it does not stand still.
inline std::int64_t settledPosition(HSTREAM h) {
    std::int64_t last = -2;
    const bool settled = QTest::qWaitFor(
        [&] {
            const std::int64_t now = position(h);
            const bool still = now == last;
            last = now;
            return still;
        },
        2000);
    return settled ? last : -1;
}
