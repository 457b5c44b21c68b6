#pragma once

// Units of the audio library: positions and lengths are bytes of the decoded stream as 16-bit PCM (sample
// rate x channels x 2 bytes), while GStreamer speaks nanoseconds. These are the conversions and the packed
// level word.

#include <cstdint>

namespace audio_units {

struct PcmFormat {
    int rate = 44100;
    int channels = 2;
    std::int64_t frameBytes() const { return std::int64_t{channels} * 2; }
};

// Whole sample frames in `ns`, as bytes; negative times, and byte counts beyond 64 bits, give -1.
std::int64_t TimeToBytes(std::int64_t ns, PcmFormat format);
// The time at which the frame holding byte `bytes` starts; negative byte counts give -1.
std::int64_t BytesToTime(std::int64_t bytes, PcmFormat format);
// Seconds of audio in `bytes`; the all-bits-set failure value gives -1.
double BytesToSeconds(std::uint64_t bytes, PcmFormat format);

// A duration estimated from the size of a constant-bitrate file and its bitrate; -1 when either is unknown
// or the duration does not fit in 64 bits of nanoseconds (a server may claim any Content-Length).
std::int64_t EstimateDuration(std::int64_t contentBytes, std::uint32_t bitsPerSecond);

// The position reported for a stream: the end once it has played out; before that never at or past a known
// length (one frame short at most), so that "position equals length" means the stream has ended.
std::int64_t ReportedPosition(std::int64_t position, std::int64_t length, bool ended, PcmFormat format);

// Left peak in the low 16 bits, right peak in the high 16 bits, each clamped to 0..32768.
std::uint32_t PackLevel(int left, int right);
constexpr std::uint32_t kNoLevel = 0xFFFFFFFFu;

}  // namespace audio_units
