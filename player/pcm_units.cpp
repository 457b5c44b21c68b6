#include "player/pcm_units.h"

#include <algorithm>
#include <limits>

namespace audio_units {

namespace {
constexpr std::int64_t kSecond = 1'000'000'000;

// a * b / c without overflow for the magnitudes met here (hours of audio at high rates).
std::int64_t scale(std::int64_t a, std::int64_t b, std::int64_t c) {
    return static_cast<std::int64_t>(static_cast<__int128>(a) * b / c);
}
}  // namespace

std::int64_t TimeToBytes(std::int64_t ns, PcmFormat format) {
    if (ns < 0 || format.rate <= 0 || format.channels <= 0) return -1;
    const __int128 bytes = static_cast<__int128>(ns) * format.rate / kSecond * format.frameBytes();
    return bytes > std::numeric_limits<std::int64_t>::max() ? -1 : static_cast<std::int64_t>(bytes);
}

std::int64_t BytesToTime(std::int64_t bytes, PcmFormat format) {
    if (bytes < 0 || format.rate <= 0 || format.channels <= 0) return -1;
    return scale(bytes / format.frameBytes(), kSecond, format.rate);
}

double BytesToSeconds(std::uint64_t bytes, PcmFormat format) {
    if (bytes == ~std::uint64_t{0} || format.rate <= 0 || format.channels <= 0) return -1;
    return static_cast<double>(bytes) /
           (static_cast<double>(format.rate) * static_cast<double>(format.frameBytes()));
}

std::int64_t EstimateDuration(std::int64_t contentBytes, std::uint32_t bitsPerSecond) {
    if (contentBytes <= 0 || bitsPerSecond == 0) return -1;
    // Any 64-bit length times 8 times a second fits in 128 bits; the result may not fit in 64.
    const __int128 ns = static_cast<__int128>(contentBytes) * 8 * kSecond / bitsPerSecond;
    return ns > std::numeric_limits<std::int64_t>::max() ? -1 : static_cast<std::int64_t>(ns);
}

std::int64_t ReportedPosition(std::int64_t position, std::int64_t length, bool ended, PcmFormat format) {
    if (length < 0) return std::max<std::int64_t>(position, 0);
    if (ended) return length;
    return std::clamp<std::int64_t>(position, 0, std::max<std::int64_t>(length - format.frameBytes(), 0));
}

std::uint32_t PackLevel(int left, int right) {
    const auto clampPeak = [](int peak) { return static_cast<std::uint32_t>(std::clamp(peak, 0, 32768)); };
    return clampPeak(left) | (clampPeak(right) << 16);
}

}  // namespace audio_units
