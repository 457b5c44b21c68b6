#include "player/peak_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/pcm_units.h"

namespace {

constexpr std::size_t kMaxChunks = 400;  // four seconds of history: more than any sink buffers ahead

// The `bytes` bytes at `p` as an unsigned number in byte order `order`.
std::uint64_t readBits(const unsigned char* p, std::size_t bytes, std::endian order) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v |= std::uint64_t{p[i]} << (8 * (order == std::endian::little ? i : bytes - 1 - i));
    return v;
}

// The low 24 bits of `bits` as a signed number.
std::int32_t signed24(std::uint64_t bits) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits) << 8) >> 8;
}

template <typename Float>
int floatMagnitude(Float v) {
    if (std::isnan(v)) return 0;
    const Float m = std::fabs(v);  // an infinity stays infinite and so above 1
    return m >= Float(1) ? 32768 : static_cast<int>(m * Float(32768));
}

}  // namespace

std::size_t PeakMeter::SampleBytes(SampleFormat format) {
    switch (format) {
        case SampleFormat::U8:
            return 1;
        case SampleFormat::S16:
            return 2;
        case SampleFormat::S24:
            return 3;
        case SampleFormat::S24_32:
        case SampleFormat::S32:
        case SampleFormat::F32:
            return 4;
        case SampleFormat::F64:
            return 8;
        case SampleFormat::Unknown:
            break;
    }
    return 0;
}

int PeakMeter::Magnitude(SampleFormat format, std::endian order, const unsigned char* sample) {
    const std::uint64_t bits = readBits(sample, SampleBytes(format), order);
    switch (format) {
        case SampleFormat::U8:
            return std::abs(static_cast<int>(bits) - 128) << 8;
        case SampleFormat::S16:
            return std::abs(int{static_cast<std::int16_t>(bits)});
        case SampleFormat::S24:
        case SampleFormat::S24_32:
            return std::abs(signed24(bits)) >> 8;
        case SampleFormat::S32:
            return static_cast<int>(std::llabs(std::int64_t{static_cast<std::int32_t>(bits)}) >> 16);
        case SampleFormat::F32:
            return floatMagnitude(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
        case SampleFormat::F64:
            return floatMagnitude(std::bit_cast<double>(bits));
        case SampleFormat::Unknown:
            break;
    }
    return 0;
}

void PeakMeter::SetFormat(SampleFormat format, std::endian order, int channels, int rate) {
    std::lock_guard lock(mutex_);
    format_ = format;
    order_ = order;
    channels_ = channels;
    rate_ = rate;
    chunks_.clear();
}

void PeakMeter::Add(std::int64_t start, const void* data, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t sample = SampleBytes(format_);
    if (sample == 0 || channels_ <= 0 || rate_ <= 0 || start < 0) return;
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
            left = std::max(left, Magnitude(format_, order_, frame));
            right = std::max(right, Magnitude(format_, order_, channels_ > 1 ? frame + sample : frame));
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
