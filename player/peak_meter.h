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

    // Bytes of one sample; 0 for Unknown.
    static std::size_t SampleBytes(SampleFormat format);
    // |sample| on the 16-bit scale, 0..32768. Floating-point samples beyond full scale and infinities count
    // as full scale, NaN as silence.
    static int Magnitude(SampleFormat format, std::endian order, const unsigned char* sample);

    // The layout of the samples added from now on; Unknown or no channels for audio whose peaks are not read.
    void SetFormat(SampleFormat format, std::endian order, int channels, int rate);
    // Interleaved samples in the format set, starting at stream time `start` (ns).
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
    SampleFormat format_ = SampleFormat::Unknown;
    std::endian order_ = std::endian::native;
    int channels_ = 0;
    int rate_ = 0;
    std::deque<Chunk> chunks_;
};
