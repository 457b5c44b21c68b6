#include "player/peak_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "player/pcm_units.h"

namespace {

using Format = PeakMeter::SampleFormat;

constexpr std::size_t kMaxChunks = 400;  // four seconds of history: more than any sink buffers ahead

constexpr std::size_t bytesOf(Format format) {
    switch (format) {
        case Format::U8:
            return 1;
        case Format::S16:
            return 2;
        case Format::S24:
            return 3;
        case Format::S24_32:
        case Format::S32:
        case Format::F32:
            return 4;
        case Format::F64:
            return 8;
        case Format::Unknown:
            break;
    }
    return 0;
}

// The `Bytes` bytes at `p` as an unsigned number in byte order `Order`.
template <std::size_t Bytes, std::endian Order>
std::uint64_t readBits(const unsigned char* p) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < Bytes; ++i)
        v |= std::uint64_t{p[i]} << (8 * (Order == std::endian::little ? i : Bytes - 1 - i));
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

template <Format F, std::endian Order>
int magnitudeOf(const unsigned char* p) {
    const std::uint64_t bits = readBits<bytesOf(F), Order>(p);
    if constexpr (F == Format::U8)
        return std::abs(static_cast<int>(bits) - 128) << 8;
    else if constexpr (F == Format::S16)
        return std::abs(int{static_cast<std::int16_t>(bits)});
    else if constexpr (F == Format::S24 || F == Format::S24_32)
        return std::abs(signed24(bits)) >> 8;
    else if constexpr (F == Format::S32)
        return static_cast<int>(std::llabs(std::int64_t{static_cast<std::int32_t>(bits)}) >> 16);
    else if constexpr (F == Format::F32)
        return floatMagnitude(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    else
        return floatMagnitude(std::bit_cast<double>(bits));
}

struct Peaks {
    int left = 0;
    int right = 0;
};

// The peaks of `frames` frames of `frameSize` bytes from `p`, the right channel `right` bytes into a frame.
template <Format F, std::endian Order>
Peaks peaksOf(const unsigned char* p, std::size_t frames, std::size_t frameSize, std::size_t right) {
    Peaks peaks;
    for (std::size_t f = 0; f < frames; ++f, p += frameSize) {
        peaks.left = std::max(peaks.left, magnitudeOf<F, Order>(p));
        peaks.right = std::max(peaks.right, magnitudeOf<F, Order>(p + right));
    }
    return peaks;
}

// The readers of one format, chosen once so that the loop over the samples has the format built in.
struct Reader {
    int (*magnitude)(const unsigned char*);
    Peaks (*peaks)(const unsigned char*, std::size_t, std::size_t, std::size_t);
};

template <Format F>
Reader readerIn(std::endian order) {
    if (order == std::endian::big) return {&magnitudeOf<F, std::endian::big>, &peaksOf<F, std::endian::big>};
    return {&magnitudeOf<F, std::endian::little>, &peaksOf<F, std::endian::little>};
}

// nullptr functions for Unknown.
Reader readerOf(Format format, std::endian order) {
    switch (format) {
        case Format::U8:
            return readerIn<Format::U8>(order);
        case Format::S16:
            return readerIn<Format::S16>(order);
        case Format::S24:
            return readerIn<Format::S24>(order);
        case Format::S24_32:
            return readerIn<Format::S24_32>(order);
        case Format::S32:
            return readerIn<Format::S32>(order);
        case Format::F32:
            return readerIn<Format::F32>(order);
        case Format::F64:
            return readerIn<Format::F64>(order);
        case Format::Unknown:
            break;
    }
    return {nullptr, nullptr};
}

}  // namespace

int PeakMeter::Magnitude(SampleFormat format, std::endian order, const unsigned char* sample) {
    const Reader reader = readerOf(format, order);
    return reader.magnitude ? reader.magnitude(sample) : 0;
}

void PeakMeter::SetFormat(SampleFormat format, std::endian order, int channels, int rate) {
    format_ = format;
    order_ = order;
    channels_ = channels;
    rate_ = rate;
    Clear();
}

void PeakMeter::Add(std::int64_t start, const void* data, std::size_t bytes) {
    const std::size_t sample = bytesOf(format_);
    const Reader reader = readerOf(format_, order_);
    if (!reader.peaks || channels_ <= 0 || rate_ <= 0 || start < 0) return;
    std::uint64_t clears;
    {
        std::lock_guard lock(mutex_);
        clears = clears_;
    }
    const std::size_t frameSize = sample * static_cast<std::size_t>(channels_);
    const std::size_t frames = bytes / frameSize;
    const auto chunkFrames =
        static_cast<std::size_t>(std::max<std::int64_t>(1, rate_ * kChunk / 1'000'000'000));
    const auto* p = static_cast<const unsigned char*>(data);
    const auto timeOf = [&](std::size_t frame) {
        return start + static_cast<std::int64_t>(frame) * 1'000'000'000 / rate_;
    };
    std::vector<Chunk> read;
    read.reserve(frames / chunkFrames + 1);
    for (std::size_t first = 0; first < frames; first += chunkFrames) {
        const std::size_t last = std::min(frames, first + chunkFrames);
        const Peaks peaks =
            reader.peaks(p + first * frameSize, last - first, frameSize, channels_ > 1 ? sample : 0);
        read.push_back({timeOf(first), timeOf(last), peaks.left, peaks.right});
    }
    std::lock_guard lock(mutex_);
    if (clears != clears_) return;
    chunks_.insert(chunks_.end(), read.begin(), read.end());
    while (chunks_.size() > kMaxChunks) chunks_.pop_front();
}

void PeakMeter::Clear() {
    std::lock_guard lock(mutex_);
    chunks_.clear();
    ++clears_;
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
