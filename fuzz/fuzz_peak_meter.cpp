// Decoded audio as a stream may hand it over: any bytes, in every sample format and byte order, with any
// channel count and rate, at any stream time.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "player/peak_meter.h"

using Format = PeakMeter::SampleFormat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const auto format = Format(input.ConsumeIntegralInRange(0, int(Format::F64)));
    const auto order = input.ConsumeBool() ? std::endian::little : std::endian::big;
    const int channels = input.ConsumeIntegralInRange(-1, 16);
    const int rate = input.ConsumeIntegralInRange(-1, 1 << 20);
    const std::int64_t start = input.ConsumeIntegralInRange<std::int64_t>(-1, std::int64_t(1) << 50);
    // Play positions as a stream reports them: -1 while unknown.
    const std::int64_t position = input.ConsumeIntegralInRange<std::int64_t>(-1, std::int64_t(1) << 62);
    const std::vector<unsigned char> samples = input.ConsumeRemainingBytes<unsigned char>();

    PeakMeter meter;
    meter.SetFormat(format, order, channels, rate);
    meter.Add(start, samples.data(), samples.size());
    for (const std::int64_t at : {position, start, start + PeakMeter::kWindow / 2}) {
        const std::uint32_t level = meter.LevelAt(at);
        FUZZ_CHECK((level & 0xffff) <= 32768 && (level >> 16) <= 32768);
    }
    for (size_t at = 0; at + 8 <= samples.size(); at += 8) {
        const int magnitude = PeakMeter::Magnitude(format, order, samples.data() + at);
        FUZZ_CHECK(magnitude >= 0 && magnitude <= 32768);
    }
    return 0;
}
