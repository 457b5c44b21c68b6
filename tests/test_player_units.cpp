// The player's pure rules: time display, slider scale, byte and time units, peaks.

#include <QTest>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "player/pcm_units.h"
#include "player/peak_meter.h"
#include "player/track_display.h"

using audio_units::PcmFormat;
const PcmFormat cd{44100, 2};  // CD audio

class PlayerUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void timeDisplay() {
        using track_display::FormatTime;
        QCOMPARE(FormatTime(0), "00:00:00");
        QCOMPARE(FormatTime(3723.7), "01:02:03");       // the fraction is dropped, not rounded
        QCOMPARE(FormatTime(25 * 3600.0), "01:00:00");  // hours modulo 24
        QCOMPARE(FormatTime(59.9996), "00:01:00");      // nearest millisecond first
        QCOMPARE(FormatTime(59.9994), "00:00:59");
        QCOMPARE(FormatTime(86399.0), "23:59:59");
        QCOMPARE(FormatTime(-1), "00:00:00");  // no stream
        QCOMPARE(FormatTime(1e13 + 3723.7), FormatTime(std::fmod(1e13, 86400.0) + 3723.7));
    }

    void sliderScale() {
        using namespace track_display;
        // Below 2^31 bytes the slider counts bytes, as the low 32 bits; the failure value stays -1.
        QCOMPARE(SliderShift(0), 0);
        QCOMPARE(SliderShift(2147483647), 0);
        QCOMPARE(ToSlider(123456789, 0), 123456789);
        QCOMPARE(ToSlider(-1, SliderShift(-1)), -1);
        QCOMPARE(FromSlider(-1, 0), std::int64_t{-1});

        // 2^31 bytes and more: the slider never overflows or goes negative, and a move maps back near its
        // bytes.
        for (std::int64_t length :
             {std::int64_t{1} << 31, (std::int64_t{1} << 33) + 12345, std::int64_t{1} << 40}) {
            const int shift = SliderShift(length);
            QVERIFY(shift > 0);
            const std::int32_t maximum = ToSlider(length, shift);
            QVERIFY(maximum > 0);
            QVERIFY(ToSlider(length - 1, shift) >= 0);
            QVERIFY(ToSlider(length / 2, shift) < maximum);
            const std::int64_t back = FromSlider(maximum / 2, shift);
            QVERIFY(std::llabs(back - length / 2) <= (std::int64_t{1} << shift));
        }
    }

    void bytesAndTime() {
        QCOMPARE(audio_units::TimeToBytes(1'000'000'000, cd), std::int64_t{176400});
        QCOMPARE(audio_units::TimeToBytes(-1, cd), std::int64_t{-1});
        // Whole frames only, rounded down: a frame lasts 22 675.7 ns.
        QCOMPARE(audio_units::TimeToBytes(22'675, cd), std::int64_t{0});
        QCOMPARE(audio_units::TimeToBytes(22'676, cd), std::int64_t{4});
        QCOMPARE(audio_units::BytesToTime(176400, cd), std::int64_t{1'000'000'000});
        QCOMPARE(audio_units::BytesToSeconds(176400 * 90, cd), 90.0);
        QCOMPARE(audio_units::BytesToSeconds(88200, PcmFormat{44100, 1}), 1.0);
        QCOMPARE(audio_units::BytesToSeconds(~std::uint64_t{0}, cd), -1.0);
        // Ten hours at 96 kHz, 8 channels: no overflow on the way.
        const PcmFormat big{96000, 8};
        const std::int64_t tenHours = std::int64_t{36000} * 1'000'000'000;
        QCOMPARE(audio_units::BytesToTime(audio_units::TimeToBytes(tenHours, big), big), tenHours);

        // 128 kbit/s over 74814 bytes: the length of a plain CBR MP3 before its parser knows it.
        QCOMPARE(audio_units::EstimateDuration(74814, 128000), std::int64_t{4'675'875'000});
        QCOMPARE(audio_units::EstimateDuration(-1, 128000), std::int64_t{-1});
        QCOMPARE(audio_units::EstimateDuration(1000, 0), std::int64_t{-1});
        // A server may claim any Content-Length or length: a figure beyond 64 bits is unknown, never wrapped.
        QCOMPARE(
            audio_units::TimeToBytes(std::numeric_limits<std::int64_t>::max(), PcmFormat{400'000'000, 2}),
            std::int64_t{-1});
        QCOMPARE(audio_units::EstimateDuration(std::numeric_limits<std::int64_t>::max(), 128000),
                 std::int64_t{-1});
        QCOMPARE(audio_units::EstimateDuration(std::int64_t{1} << 40, 1), std::int64_t{-1});
    }

    void positionAgainstLength() {
        using audio_units::ReportedPosition;
        QCOMPARE(ReportedPosition(1000, 4000, false, cd), std::int64_t{1000});
        // Before the end the position stays short of the length, so that equality means "ended".
        QCOMPARE(ReportedPosition(4000, 4000, false, cd), std::int64_t{3996});
        QCOMPARE(ReportedPosition(5000, 4000, false, cd), std::int64_t{3996});
        QCOMPARE(ReportedPosition(3990, 4000, true, cd), std::int64_t{4000});
        QCOMPARE(ReportedPosition(-5, 4000, false, cd), std::int64_t{0});
        QCOMPARE(ReportedPosition(7777, -1, false, cd), std::int64_t{7777});  // length not known
    }

    void levelWord() {
        QCOMPARE(audio_units::PackLevel(32768, 0), 0x00008000u);
        QCOMPARE(audio_units::PackLevel(0, 32768), 0x80000000u);
        QCOMPARE(audio_units::PackLevel(40000, -3), 0x00008000u);
        QVERIFY(audio_units::PackLevel(32768, 32768) != audio_units::kNoLevel);
    }

    void peaksFollowThePlayPosition() {
        PeakMeter meter;
        meter.SetFormat(PeakMeter::SampleFormat::S16, std::endian::native, 2, 1000);
        // 100 ms of loud left-only audio, then 100 ms of a quiet right channel.
        std::vector<std::int16_t> loudLeft(200), quietRight(200);
        for (int f = 0; f < 100; ++f) {
            loudLeft[2 * f] = f == 50 ? -32768 : 20000;
            quietRight[2 * f + 1] = 1000;
        }
        meter.Add(0, loudLeft.data(), loudLeft.size() * 2);
        meter.Add(100'000'000, quietRight.data(), quietRight.size() * 2);

        QCOMPARE(meter.LevelAt(55'000'000), audio_units::PackLevel(32768, 0));
        QCOMPARE(meter.LevelAt(20'000'000), audio_units::PackLevel(20000, 0));
        QCOMPARE(meter.LevelAt(45'000'000), audio_units::PackLevel(20000, 0));  // 50 ms is not heard yet
        // The window covers only the last 20 ms: well into the quiet part the loud part no longer counts.
        QCOMPARE(meter.LevelAt(150'000'000), audio_units::PackLevel(0, 1000));
        QCOMPARE(meter.LevelAt(5'000'000'000), 0u);  // nothing known there
        meter.Clear();
        QCOMPARE(meter.LevelAt(55'000'000), 0u);
    }

    void peaksOfMonoAndUnreadAudio() {
        PeakMeter meter;
        meter.SetFormat(PeakMeter::SampleFormat::S16, std::endian::native, 1, 1000);  // mono: both halves
        const std::int16_t mono[] = {-16384, 0, 300};
        meter.Add(0, mono, sizeof mono);
        QCOMPARE(meter.LevelAt(2'000'000), audio_units::PackLevel(16384, 16384));

        // Audio of a format not read, or of no channels: silence, never stale peaks.
        meter.SetFormat(PeakMeter::SampleFormat::Unknown, std::endian::native, 1, 1000);
        QCOMPARE(meter.LevelAt(2'000'000), 0u);
        meter.Add(0, mono, sizeof mono);
        QCOMPARE(meter.LevelAt(2'000'000), 0u);
        meter.SetFormat(PeakMeter::SampleFormat::S16, std::endian::native, 0, 0);
        meter.Add(0, mono, sizeof mono);
        QCOMPARE(meter.LevelAt(2'000'000), 0u);
    }

    void sampleMagnitudes() {
        using F = PeakMeter::SampleFormat;
        constexpr auto le = std::endian::little, be = std::endian::big;
        const auto magnitude = [](F format, std::endian order, std::vector<unsigned char> bytes) {
            return PeakMeter::Magnitude(format, order, bytes.data());
        };
        // Every integer format reaches exactly full scale at its most negative value, on the 16-bit scale.
        QCOMPARE(magnitude(F::U8, le, {0x00}), 32768);
        QCOMPARE(magnitude(F::U8, le, {0xFF}), 127 * 256);
        QCOMPARE(magnitude(F::U8, le, {0x80}), 0);  // 128 is silence
        QCOMPARE(magnitude(F::U8, le, {0x40}), 64 * 256);
        QCOMPARE(magnitude(F::S16, le, {0x00, 0x80}), 32768);
        QCOMPARE(magnitude(F::S16, le, {0x30, 0x75}), 30000);
        QCOMPARE(magnitude(F::S16, be, {0x75, 0x30}), 30000);
        QCOMPARE(magnitude(F::S16, le, {0xD0, 0x8A}), 30000);  // -30000
        QCOMPARE(magnitude(F::S24, le, {0x00, 0x00, 0x80}), 32768);
        QCOMPARE(magnitude(F::S24, le, {0xFF, 0xFF, 0x7F}), 32767);
        QCOMPARE(magnitude(F::S24, le, {0x00, 0x30, 0x75}), 30000);
        QCOMPARE(magnitude(F::S24, be, {0x75, 0x30, 0x00}), 30000);
        QCOMPARE(magnitude(F::S24, le, {0x00, 0xD0, 0x8A}), 30000);  // -30000 * 256
        QCOMPARE(magnitude(F::S24, le, {0xFF, 0xFF, 0xFF}), 0);      // -1
        // 24 bits in 32: the top byte, sign-extended or not, is not part of the sample.
        QCOMPARE(magnitude(F::S24_32, le, {0x00, 0xD0, 0x8A, 0xFF}), 30000);
        QCOMPARE(magnitude(F::S24_32, le, {0x00, 0xD0, 0x8A, 0x00}), 30000);
        QCOMPARE(magnitude(F::S24_32, le, {0x00, 0x30, 0x75, 0xFF}), 30000);
        QCOMPARE(magnitude(F::S24_32, be, {0x00, 0x80, 0x00, 0x00}), 32768);
        QCOMPARE(magnitude(F::S32, le, {0x00, 0x00, 0x00, 0x80}), 32768);  // no overflow taking |INT32_MIN|
        QCOMPARE(magnitude(F::S32, le, {0x00, 0x00, 0x30, 0x75}), 30000);
        QCOMPARE(magnitude(F::S32, be, {0x8A, 0xD0, 0x00, 0x00}), 30000);
        QCOMPARE(magnitude(F::Unknown, le, {0x00, 0x80}), 0);

        // Floating point: full scale at 1, louder samples clipped; NaN carries no level and infinities are
        // full scale, without an undefined conversion to int.
        const auto floating = [](auto v, std::endian order) {
            constexpr std::size_t size = sizeof v;
            const auto bits = std::bit_cast<std::conditional_t<size == 4, std::uint32_t, std::uint64_t>>(v);
            unsigned char b[size];
            for (std::size_t i = 0; i < size; ++i)
                b[order == std::endian::little ? i : size - 1 - i] = (bits >> (8 * i)) & 0xFF;
            return PeakMeter::Magnitude(size == 4 ? F::F32 : F::F64, order, b);
        };
        using f = std::numeric_limits<float>;
        using d = std::numeric_limits<double>;
        for (const std::endian order : {le, be}) {
            for (const float v : {-1.0f, 3.0f, f::infinity(), -f::infinity()})
                QCOMPARE(floating(v, order), 32768);
            for (const double v : {-1.0, -1e300, d::infinity()}) QCOMPARE(floating(v, order), 32768);
            for (const float v : {f::quiet_NaN(), -f::quiet_NaN(), f::denorm_min()})
                QCOMPARE(floating(v, order), 0);
            for (const double v : {d::quiet_NaN(), d::signaling_NaN()}) QCOMPARE(floating(v, order), 0);
            QCOMPARE(floating(0.5f, order), 16384);
            QCOMPARE(floating(-0.25f, order), 8192);
            QCOMPARE(floating(0.5, order), 16384);
        }
    }

    void peaksOfOtherSampleWidths() {
        // Frames of 3-byte samples step by whole frames and keep their channels apart.
        PeakMeter meter;
        meter.SetFormat(PeakMeter::SampleFormat::S24, std::endian::little, 2, 1000);
        const unsigned char s24[] = {0x00, 0x00, 0x40, 0x00, 0x00, 0x00,   // left 0.5
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0xE0};  // right -0.25
        meter.Add(0, s24, sizeof s24);
        QCOMPARE(meter.LevelAt(1'000'000), audio_units::PackLevel(16384, 8192));

        // Floats with a NaN among them: the other samples still give the peak.
        meter.SetFormat(PeakMeter::SampleFormat::F32, std::endian::native, 2, 1000);
        QCOMPARE(meter.LevelAt(1'000'000), 0u);  // a new format drops the old peaks
        const float f32[] = {std::numeric_limits<float>::quiet_NaN(), 0.125f, -0.75f,
                             std::numeric_limits<float>::quiet_NaN()};
        meter.Add(0, f32, sizeof f32);
        QCOMPARE(meter.LevelAt(1'000'000), audio_units::PackLevel(24576, 4096));

        // 8-bit: one byte a sample, 128 the middle.
        meter.SetFormat(PeakMeter::SampleFormat::U8, std::endian::native, 2, 1000);
        const unsigned char u8[] = {128, 0, 192, 128, 128, 128};
        meter.Add(0, u8, sizeof u8);
        QCOMPARE(meter.LevelAt(2'000'000), audio_units::PackLevel(16384, 32768));
    }
};

QTEST_APPLESS_MAIN(PlayerUnitsTest)
#include "test_player_units.moc"
