// A stand-in for a compositor's screen-cast stream: a PipeWire video source of width x height BGRx frames, 40
// a second, its four quarters painted in four colours. Prints "node <id>" once the stream is ready. Each line
// on standard input is four colours 0xRRGGBB (upper left, lower left, upper right, lower right quarter) for
// the following frames, or what to send instead of frames from then on: "empty" (buffers with a chunk of
// size 0), "broken" (flagged corrupted, or a chunk too short for the frame, in turn), "none" (nothing, as for
// a still screen), "frames" (frames again); end of input ends the stream and the program.
// Usage: screen_producer width height

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

namespace {

struct Producer {
    static constexpr int fps = 40;
    enum class Send { Frames, Empty, Broken, None } send = Send::Frames;
    unsigned sent = 0;
    int width = 0, height = 0;
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    std::array<uint32_t, 4> colours{0x000000, 0x000000, 0x000000, 0x000000};
    unsigned generation = 1;  // bumped by every repaint; a buffer painted for an older one is painted again
    bool announced = false;
    std::string input;
};

void paint(Producer& p, pw_buffer* buffer) {
    spa_data& data = buffer->buffer->datas[0];
    const int stride = p.width * 4;
    if (reinterpret_cast<uintptr_t>(buffer->user_data) != p.generation) {
        for (int y = 0; y < p.height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(data.data) + y * stride);
            const int lower = y >= p.height / 2;
            for (int x = 0; x < p.width; ++x) row[x] = p.colours[(x >= p.width / 2) * 2 + lower];
        }
        buffer->user_data = reinterpret_cast<void*>(uintptr_t(p.generation));
    }
    data.chunk->offset = 0;
    data.chunk->stride = stride;
    data.chunk->size = uint32_t(stride * p.height);
}

void onTimer(void* userData, uint64_t) {
    auto& p = *static_cast<Producer*>(userData);
    if (p.send == Producer::Send::None) return;
    if (pw_buffer* buffer = pw_stream_dequeue_buffer(p.stream)) {
        paint(p, buffer);
        spa_chunk& chunk = *buffer->buffer->datas[0].chunk;
        chunk.flags = SPA_CHUNK_FLAG_NONE;
        if (p.send == Producer::Send::Empty) chunk.size = 0;
        if (p.send == Producer::Send::Broken) {
            if (p.sent % 2)
                chunk.flags = SPA_CHUNK_FLAG_CORRUPTED;
            else
                chunk.size = chunk.stride;  // one row of the frame
        }
        ++p.sent;
        pw_stream_queue_buffer(p.stream, buffer);
    }
}

void onInput(void* userData, int fd, uint32_t) {
    auto& p = *static_cast<Producer*>(userData);
    char chunk[256];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) {
        pw_main_loop_quit(p.loop);
        return;
    }
    p.input.append(chunk, size_t(got));
    for (size_t end; (end = p.input.find('\n')) != std::string::npos; p.input.erase(0, end + 1)) {
        const std::string line = p.input.substr(0, end);
        unsigned c[4];
        if (line == "frames") {
            p.send = Producer::Send::Frames;
        } else if (line == "empty") {
            p.send = Producer::Send::Empty;
        } else if (line == "broken") {
            p.send = Producer::Send::Broken;
        } else if (line == "none") {
            p.send = Producer::Send::None;
        } else if (std::sscanf(line.c_str(), "%x %x %x %x", &c[0], &c[1], &c[2], &c[3]) == 4) {
            for (int i = 0; i < 4; ++i) p.colours[i] = c[i];
            ++p.generation;
            p.send = Producer::Send::Frames;
        }
    }
}

void onState(void* userData, pw_stream_state, pw_stream_state state, const char* error) {
    auto& p = *static_cast<Producer*>(userData);
    if (state == PW_STREAM_STATE_ERROR) {
        std::fprintf(stderr, "screen_producer: %s\n", error ? error : "stream error");
        pw_main_loop_quit(p.loop);
    }
    if (!p.announced && (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)) {
        p.announced = true;
        std::printf("node %u\n", pw_stream_get_node_id(p.stream));
        std::fflush(stdout);
    }
}

void onParamChanged(void* userData, uint32_t id, const spa_pod* param) {
    auto& p = *static_cast<Producer*>(userData);
    if (id != SPA_PARAM_Format || !param) return;
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
        SPA_POD_Int(p.width * 4 * p.height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(p.width * 4),
        SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)))};
    pw_stream_update_params(p.stream, params, 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: screen_producer width height\n");
        return 2;
    }
    pw_init(&argc, &argv);
    Producer p;
    p.width = std::atoi(argv[1]);
    p.height = std::atoi(argv[2]);
    p.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(p.loop);

    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = onState;
        e.param_changed = onParamChanged;
        return e;
    }();
    p.stream =
        pw_stream_new_simple(loop, "Varnex test screen",
                             pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr), &events, &p);

    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size{uint32_t(p.width), uint32_t(p.height)};
    spa_fraction rate{uint32_t(Producer::fps), 1};
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
    pw_stream_connect(p.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);

    spa_source* timer = pw_loop_add_timer(loop, onTimer, &p);
    timespec interval{0, 1000000000L / Producer::fps};
    pw_loop_update_timer(loop, timer, &interval, &interval, false);
    pw_loop_add_io(loop, STDIN_FILENO, SPA_IO_IN | SPA_IO_HUP, false, onInput, &p);

    pw_main_loop_run(p.loop);
    pw_stream_destroy(p.stream);
    pw_main_loop_destroy(p.loop);
    pw_deinit();
    return 0;
}
