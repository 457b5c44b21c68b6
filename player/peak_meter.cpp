#include "player/peak_meter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "player/pcm_units.h"

namespace {

constexpr std::size_t kMaxChunks = 400;  // four seconds of history: more than any sink buffers ahead

std::size_t sampleBytes(PeakMeter::SampleFormat format) {
    switch (format) {
        case PeakMeter::SampleFormat::S16:
            return 2;
        case PeakMeter::SampleFormat::S32:
        case PeakMeter::SampleFormat::F32:
            return 4;
        case PeakMeter::SampleFormat::F64:
            return 8;
        case PeakMeter::SampleFormat::Unknown:
            break;
    }
    return 0;
}

// |sample| on the 16-bit scale, 0..32768.
int magnitude(PeakMeter::SampleFormat format, const unsigned char* p) {
    switch (format) {
        case PeakMeter::SampleFormat::S16: {
            std::int16_t v;
            std::memcpy(&v, p, sizeof v);
            return std::abs(int{v});
        }
        case PeakMeter::SampleFormat::S32: {
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            return static_cast<int>(std::llabs(std::int64_t{v}) >> 16);
        }
        case PeakMeter::SampleFormat::F32: {
            float v;
            std::memcpy(&v, p, sizeof v);
            return static_cast<int>(std::min(std::fabs(v), 1.0f) * 32768.0f);
        }
        case PeakMeter::SampleFormat::F64: {
            double v;
            std::memcpy(&v, p, sizeof v);
            return static_cast<int>(std::min(std::fabs(v), 1.0) * 32768.0);
        }
        case PeakMeter::SampleFormat::Unknown:
            break;
    }
    return 0;
}

}  // namespace

void PeakMeter::SetFormat(SampleFormat format, int channels, int rate) {
    std::lock_guard lock(mutex_);
    format_ = format;
    channels_ = channels;
    rate_ = rate;
    chunks_.clear();
}

void PeakMeter::Add(std::int64_t start, const void* data, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t sample = sampleBytes(format_);
    if (sample == 0 || channels_ <= 0 || rate_ <= 0 || start < 0) return;
    const std::size_t frameSize = sample * static_cast<std::size_t>(channels_);
    const std::size_t frames = bytes / frameSize;
    const std::size_t chunkFrames = std::max<std::size_t>(1, static_cast<std::size_t>(rate_) / 100);
    const auto* p = static_cast<const unsigned char*>(data);
    const auto timeOf = [&](std::size_t frame) {
        return start + static_cast<std::int64_t>(frame) * 1'000'000'000 / rate_;
    };
    for (std::size_t first = 0; first < frames; first += chunkFrames) {
        const std::size_t last = std::min(frames, first + chunkFrames);
        int left = 0, right = 0;
        for (std::size_t f = first; f < last; ++f) {
            const unsigned char* frame = p + f * frameSize;
            left = std::max(left, magnitude(format_, frame));
            right = std::max(right, magnitude(format_, channels_ > 1 ? frame + sample : frame));
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
