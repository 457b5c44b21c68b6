#pragma once

// Peaks of the most recent audio. The streaming thread adds decoded samples as they reach the sink, in
// whatever format the sink takes, stamped with their stream time; the user-interface thread asks for the
// peaks of the audio just before the play position, so the level follows what is heard rather than what has
// been decoded ahead of it.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

class PeakMeter final {
public:
    // Interleaved sample formats whose peaks are read: U8 is unsigned with 128 as silence, S24 is packed in
    // three bytes, S24_32 holds 24 bits in the low bits of four bytes, F32 and F64 are floating point with
    // full scale at 1.
    enum class SampleFormat { Unknown, U8, S16, S24, S24_32, S32, F32, F64 };

    static constexpr std::int64_t kChunk = 10'000'000;   // ns of audio per stored peak
    static constexpr std::int64_t kWindow = 20'000'000;  // ns of audio a level covers

    // |sample| on the 16-bit scale, 0..32768. Floating-point samples beyond full scale and infinities count
    // as full scale, NaN as silence.
    static int Magnitude(SampleFormat format, std::endian order, const unsigned char* sample);

    // The layout of the samples added from now on; Unknown or no channels for audio whose peaks are not read.
    // Called on the thread that adds.
    void SetFormat(SampleFormat format, std::endian order, int channels, int rate);
    // Interleaved samples in the format set, starting at stream time `start` (ns). The samples are read
    // without the lock, which guards only the stored peaks, so the level is never kept waiting for them.
    void Add(std::int64_t start, const void* data, std::size_t bytes);
    // Drops the stored peaks, and those of samples being read at the time (audio from before a seek).
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

    // The format, set and read by the adding thread only.
    SampleFormat format_ = SampleFormat::Unknown;
    std::endian order_ = std::endian::native;
    int channels_ = 0;
    int rate_ = 0;

    mutable std::mutex mutex_;
    std::deque<Chunk> chunks_;
    std::uint64_t clears_ = 0;  // how many times the peaks were dropped
};
