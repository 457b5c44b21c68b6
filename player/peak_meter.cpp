#include "player/peak_meter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "player/pcm_units.h"

namespace {

constexpr std::size_t kMaxChunks = 400;  // four seconds of history: more than any sink buffers ahead

// |sample| on the 16-bit scale, 0..32768.
int magnitude(const unsigned char* p) {
    std::int16_t v;
    std::memcpy(&v, p, sizeof v);
    return std::abs(int{v});
}

}  // namespace

void PeakMeter::SetFormat(int channels, int rate) {
    std::lock_guard lock(mutex_);
    channels_ = channels;
    rate_ = rate;
    chunks_.clear();
}

void PeakMeter::Add(std::int64_t start, const void* data, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (channels_ <= 0 || rate_ <= 0 || start < 0) return;
    constexpr std::size_t sample = sizeof(std::int16_t);
    const std::size_t frameSize = sample * static_cast<std::size_t>(channels_);
    const std::size_t frames = bytes / frameSize;
    const auto chunkFrames =
        static_cast<std::size_t>(std::max<std::int64_t>(1, rate_ * kChunk / 1'000'000'000));
    const auto* p = static_cast<const unsigned char*>(data);
    const auto timeOf = [&](std::size_t frame) {
        return start + static_cast<std::int64_t>(frame) * 1'000'000'000 / rate_;
    };
    for (std::size_t first = 0; first < frames; first += chunkFrames) {
        const std::size_t last = std::min(frames, first + chunkFrames);
        int left = 0, right = 0;
        for (std::size_t f = first; f < last; ++f) {
            const unsigned char* frame = p + f * frameSize;
            left = std::max(left, magnitude(frame));
            right = std::max(right, magnitude(channels_ > 1 ? frame + sample : frame));
        }
        chunks_.push_back({timeOf(first), timeOf(last), left, right});
    }
    while (chunks_.size() > kMaxChunks) chunks_.pop_front();
}

void PeakMeter::Clear() {
    std::lock_guard lock(mutex_);
    chunks_.clear();
}

std::uint32_t PeakMeter::LevelAt(std::int64_t position) const {
    std::lock_guard lock(mutex_);
    int left = 0, right = 0;
    for (const Chunk& c : chunks_) {
        if (c.end > position - kWindow && c.start <= position) {
            left = std::max(left, c.left);
            right = std::max(right, c.right);
        }
    }
    return audio_units::PackLevel(left, right);
}
