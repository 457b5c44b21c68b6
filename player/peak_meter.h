#pragma once

// Peaks of the most recent audio. The streaming thread adds decoded 16-bit samples as they reach the sink,
// stamped with their stream time; the user-interface thread asks for the peaks of the audio just before the
// play position, so the level follows what is heard rather than what has been decoded ahead of it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

class PeakMeter final {
public:
    static constexpr std::int64_t kChunk = 10'000'000;   // ns of audio per stored peak
    static constexpr std::int64_t kWindow = 20'000'000;  // ns of audio a level covers

    // The layout of the samples added from now on; no channels (0) for audio whose peaks are not read.
    void SetFormat(int channels, int rate);
    // Interleaved native-endian 16-bit samples, starting at stream time `start` (ns).
    void Add(std::int64_t start, const void* data, std::size_t bytes);
    void Clear();
    // The packed left/right peaks of the audio in (position - kWindow, position]; 0 when none is known.
    std::uint32_t LevelAt(std::int64_t position) const;

private:
    struct Chunk {
        std::int64_t start;
        std::int64_t end;
        int left;
        int right;
    };

    mutable std::mutex mutex_;
    int channels_ = 0;
    int rate_ = 0;
    std::deque<Chunk> chunks_;
};
