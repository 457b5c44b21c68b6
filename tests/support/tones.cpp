#include "tests/support/tones.h"

#include <gst/gst.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numbers>

namespace tones {

namespace {

void put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string Wav(double seconds, int rate, int channels, double leftAmplitude, double rightAmplitude,
                int bits) {
    const auto frames = static_cast<std::uint32_t>(std::lround(seconds * rate));
    const auto sampleBytes = static_cast<std::uint32_t>(bits / 8);
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * sampleBytes;
    std::string out = "RIFF";
    put(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    put(out, 16, 4);
    put(out, bits == 32 ? 3 : 1, 2);  // IEEE float or PCM
    put(out, static_cast<std::uint32_t>(channels), 2);
    put(out, static_cast<std::uint32_t>(rate), 4);
    put(out, static_cast<std::uint32_t>(rate * channels) * sampleBytes, 4);
    put(out, static_cast<std::uint32_t>(channels) * sampleBytes, 2);
    put(out, static_cast<std::uint32_t>(bits), 2);
    out += "data";
    put(out, dataBytes, 4);
    out.reserve(out.size() + dataBytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const double sine = std::sin(2 * std::numbers::pi * 440.0 * f / rate);
        for (int c = 0; c < channels; ++c) {
            const double value = sine * (c == 0 ? leftAmplitude : rightAmplitude);
            if (bits == 8)
                put(out, static_cast<std::uint32_t>(128 + std::lround(value * 127)), 1);
            else if (bits == 32)
                put(out, std::bit_cast<std::uint32_t>(static_cast<float>(value)), 4);
            else
                put(out, static_cast<std::uint32_t>(std::lround(value * ((1L << (bits - 1)) - 1))), bits / 8);
        }
    }
    return out;
}

std::string Mp3(double seconds, int kbps, int rate) {
    gst_init(nullptr, nullptr);
    char path[] = "/tmp/varnex-tone-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    ::close(fd);
    const long buffers = std::lround(seconds * rate / 1024);
    const std::string description = "audiotestsrc num-buffers=" + std::to_string(buffers) +
                                    " samplesperbuffer=1024 wave=sine freq=440 volume=0.5 ! "
                                    "audio/x-raw,format=S16LE,channels=2,rate=" +
                                    std::to_string(rate) +
                                    " ! lamemp3enc target=bitrate cbr=true bitrate=" + std::to_string(kbps) +
                                    " ! filesink location=" + path;
    std::string result;
    if (GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr)) {
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* done = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                                      GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool ok = done && GST_MESSAGE_TYPE(done) == GST_MESSAGE_EOS;
        if (done) gst_message_unref(done);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        if (ok) {
            std::ifstream in(path, std::ios::binary);
            result.assign(std::istreambuf_iterator<char>(in), {});
        }
    }
    ::unlink(path);
    return result;
}

}  // namespace tones
