// A stand-in for a compositor's screen-cast stream: a PipeWire video source of width x height frames, 40
// a second, its four quarters painted in four colours. Prints "node <id>" once the stream is ready. Each line
// on standard input is four colours 0xRRGGBB (upper left, lower left, upper right, lower right quarter) for
// the following frames, or what to send instead of frames from then on: "empty" (buffers with a chunk of
// size 0), "broken" (flagged corrupted, or a chunk too short for the frame, in turn), "none" (nothing, as for
// a still screen), "frames" (frames again); end of input ends the stream and the program.
//
// As a compositor may, it can send the screen turned and cropped out of a larger buffer, and in DMA-BUF:
//   turn=N         the picture turned as PipeWire's video transform N says (0..7: a quarter, half or three-
//                  quarter turn counter-clockwise, then the same after a mirror about the vertical axis),
//                  the value sent with every buffer;
//   margins=L,T,R,B  the buffer larger than the (turned) picture by these margins, painted magenta, the
//                  picture's place in it sent as the crop with every buffer;
//   dmabuf         buffers announced as DMA-BUF of the linear layout (DRM_FORMAT_MOD_LINEAR); there is no GPU
//                  here, so they are plain memory files (memfd) standing in for the GPU's buffers, which a
//                  reader maps the same way;
//   dmabuf=short   the same, each file holding only half of what the buffer announces.
// And, for tests that need every pixel to tell where it is:
//   labels         each pixel of the picture its quarter's colour XOR its label, the colour 0xRRGGBB with
//                  red (3x + y) mod 256, green (x + 3y) mod 256, blue (x XOR y) mod 256 for the pixel at
//                  (x, y) of the picture as shown (before the turn); the unused byte of each pixel 0xA5;
//   format=NAME    the pixels in one of the other formats a screen cast may have: bgrx (the default), rgbx,
//                  xrgb, xbgr, bgra, rgba, argb, abgr (the byte order in memory).
// Usage: screen_producer width height [turn=N] [margins=L,T,R,B] [dmabuf[=short]] [labels] [format=NAME]

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

namespace {

struct Producer {
    static constexpr int fps = 40;
    enum class Send { Frames, Empty, Broken, None } send = Send::Frames;
    unsigned sent = 0;
    int width = 0, height = 0;                     // the screen's picture
    int turn = 0;                                  // what was done to the picture to give the buffer
    int left = 0, top = 0, right = 0, bottom = 0;  // the buffer's margins around the picture
    bool metas = false;                            // whether crop and transform are sent
    enum class Memory { Shared, DmaBuf, ShortDmaBuf } memory = Memory::Shared;
    bool labels = false;
    struct Format {
        const char* name;
        spa_video_format format;
        int red, green, blue, unused;  // byte offsets in memory
    };
    Format format{"bgrx", SPA_VIDEO_FORMAT_BGRx, 2, 1, 0, 3};
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    std::array<uint32_t, 4> colours{0x000000, 0x000000, 0x000000, 0x000000};
    unsigned generation = 1;  // bumped by every repaint; a buffer painted for an older one is painted again
    bool announced = false;
    std::string input;
};

constexpr uint32_t kMargin = 0xFF00FF;

constexpr Producer::Format kFormats[] = {
    {"bgrx", SPA_VIDEO_FORMAT_BGRx, 2, 1, 0, 3}, {"rgbx", SPA_VIDEO_FORMAT_RGBx, 0, 1, 2, 3},
    {"xrgb", SPA_VIDEO_FORMAT_xRGB, 1, 2, 3, 0}, {"xbgr", SPA_VIDEO_FORMAT_xBGR, 3, 2, 1, 0},
    {"bgra", SPA_VIDEO_FORMAT_BGRA, 2, 1, 0, 3}, {"rgba", SPA_VIDEO_FORMAT_RGBA, 0, 1, 2, 3},
    {"argb", SPA_VIDEO_FORMAT_ARGB, 1, 2, 3, 0}, {"abgr", SPA_VIDEO_FORMAT_ABGR, 3, 2, 1, 0},
};

uint32_t label(int x, int y) {
    return uint32_t((3 * x + y) & 0xFF) << 16 | uint32_t((x + 3 * y) & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF);
}

bool quarterTurned(int turn) {
    return turn % 2 == 1;
}
// The picture cropped out of the buffer, after its turn.
int cropWidth(const Producer& p) {
    return quarterTurned(p.turn) ? p.height : p.width;
}
int cropHeight(const Producer& p) {
    return quarterTurned(p.turn) ? p.width : p.height;
}
int bufferWidth(const Producer& p) {
    return p.left + cropWidth(p) + p.right;
}
int bufferHeight(const Producer& p) {
    return p.top + cropHeight(p) + p.bottom;
}

// The colour of pixel (x, y) of the crop: the picture's pixel found by undoing the turn one counter-clockwise
// quarter at a time, then the mirror.
uint32_t colourAt(const Producer& p, int x, int y) {
    int w = cropWidth(p), h = cropHeight(p);
    for (int i = 0; i < p.turn % 4; ++i) {
        // A quarter turn counter-clockwise takes (x, y) of an image w wide to (y, w - 1 - x).
        const int before = h - 1 - y;
        y = x;
        x = before;
        std::swap(w, h);
    }
    if (p.turn >= 4) x = w - 1 - x;
    return p.colours[(x >= w / 2) * 2 + (y >= h / 2)] ^ (p.labels ? label(x, y) : 0);
}

// The colour of pixel (x, y) of the buffer.
uint32_t pixelAt(const Producer& p, int x, int y) {
    if (!p.metas && !p.labels)
        return p.colours[(x >= p.width / 2) * 2 + (y >= p.height / 2)];  // the plain screen, quickly
    const bool picture = x >= p.left && x < p.left + cropWidth(p) && y >= p.top && y < p.top + cropHeight(p);
    return picture ? colourAt(p, x - p.left, y - p.top) : kMargin;
}

void paint(Producer& p, pw_buffer* buffer) {
    spa_data& data = buffer->buffer->datas[0];
    const int width = bufferWidth(p), height = bufferHeight(p), stride = width * 4;
    // A file that holds less than the buffer announces gets no paint.
    if (reinterpret_cast<uintptr_t>(buffer->user_data) != p.generation &&
        p.memory != Producer::Memory::ShortDmaBuf) {
        const Producer::Format& f = p.format;
        const uint8_t unused = p.labels ? 0xA5 : 0;
        for (int y = 0; y < height; ++y) {
            uint8_t* row = static_cast<uint8_t*>(data.data) + y * stride;
            for (int x = 0; x < width; ++x) {
                const uint32_t colour = pixelAt(p, x, y);
                uint8_t* pixel = row + 4 * x;
                pixel[f.red] = uint8_t(colour >> 16);
                pixel[f.green] = uint8_t(colour >> 8);
                pixel[f.blue] = uint8_t(colour);
                pixel[f.unused] = unused;
            }
        }
        buffer->user_data = reinterpret_cast<void*>(uintptr_t(p.generation));
    }
    data.chunk->offset = 0;
    data.chunk->stride = stride;
    data.chunk->size = uint32_t(stride * height);
    if (auto* crop = static_cast<spa_meta_region*>(
            spa_buffer_find_meta_data(buffer->buffer, SPA_META_VideoCrop, sizeof(spa_meta_region))))
        crop->region = SPA_REGION(p.left, p.top, uint32_t(cropWidth(p)), uint32_t(cropHeight(p)));
    if (auto* transform = static_cast<spa_meta_videotransform*>(spa_buffer_find_meta_data(
            buffer->buffer, SPA_META_VideoTransform, sizeof(spa_meta_videotransform))))
        transform->transform = uint32_t(p.turn);
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
    const int stride = bufferWidth(p) * 4;
    const int dataType = p.memory == Producer::Memory::Shared ? SPA_DATA_MemFd : SPA_DATA_DmaBuf;
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[] = {
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * bufferHeight(p)), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << dataType))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region)))),
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                       SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoTransform),
                                       SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_videotransform)))),
    };
    pw_stream_update_params(p.stream, params, p.metas ? 3 : 1);
}

// DMA-BUF buffers are ours to make (the stream allocates only shared memory). There is no GPU here: each is
// a memory file announced as a DMA-BUF of the linear layout, which a reader maps as it would a real one (only
// the DMA-BUF ioctls answer ENOTTY).
void onAddBuffer(void* userData, pw_buffer* buffer) {
    auto& p = *static_cast<Producer*>(userData);
    if (p.memory == Producer::Memory::Shared) return;
    spa_data& data = buffer->buffer->datas[0];
    const size_t size = size_t(bufferWidth(p)) * 4 * size_t(bufferHeight(p));
    const size_t held = p.memory == Producer::Memory::ShortDmaBuf ? size / 2 : size;
    const int fd = memfd_create("varnex-test-dmabuf", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(held)) < 0) {
        std::fprintf(stderr, "screen_producer: no memory file for a buffer\n");
        pw_main_loop_quit(p.loop);
        return;
    }
    data.type = SPA_DATA_DmaBuf;
    data.flags = SPA_DATA_FLAG_READWRITE;
    data.fd = fd;
    data.mapoffset = 0;
    data.maxsize = uint32_t(size);
    data.data = mmap(nullptr, held, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
}

void onRemoveBuffer(void* userData, pw_buffer* buffer) {
    auto& p = *static_cast<Producer*>(userData);
    if (p.memory == Producer::Memory::Shared) return;
    spa_data& data = buffer->buffer->datas[0];
    const size_t size = size_t(bufferWidth(p)) * 4 * size_t(bufferHeight(p));
    munmap(data.data, p.memory == Producer::Memory::ShortDmaBuf ? size / 2 : size);
    close(int(data.fd));
    data.data = nullptr;
    data.fd = -1;
}

}  // namespace

int main(int argc, char** argv) {
    Producer p;
    bool understood = argc >= 3;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (std::sscanf(argv[i], "turn=%d", &p.turn) == 1 && p.turn >= 0 && p.turn <= 7)
            p.metas = true;
        else if (std::sscanf(argv[i], "margins=%d,%d,%d,%d", &p.left, &p.top, &p.right, &p.bottom) == 4)
            p.metas = true;
        else if (option == "dmabuf")
            p.memory = Producer::Memory::DmaBuf;
        else if (option == "dmabuf=short")
            p.memory = Producer::Memory::ShortDmaBuf;
        else if (option == "labels")
            p.labels = true;
        else if (const auto* format =
                     std::find_if(std::begin(kFormats), std::end(kFormats),
                                  [&](const auto& f) { return option == "format=" + std::string(f.name); });
                 format != std::end(kFormats))
            p.format = *format;
        else
            understood = false;
    }
    if (!understood) {
        std::fprintf(
            stderr,
            "usage: screen_producer width height [turn=N] [margins=L,T,R,B] [dmabuf[=short]] [labels] "
            "[format=NAME]\n");
        return 2;
    }
    pw_init(&argc, &argv);
    p.width = std::atoi(argv[1]);
    p.height = std::atoi(argv[2]);
    p.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(p.loop);

    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = onState;
        e.param_changed = onParamChanged;
        e.add_buffer = onAddBuffer;
        e.remove_buffer = onRemoveBuffer;
        return e;
    }();
    p.stream =
        pw_stream_new_simple(loop, "Varnex test screen",
                             pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr), &events, &p);

    // The buffer's size; in DMA-BUF, the linear layout as the only modifier, which a reader must take.
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size{uint32_t(bufferWidth(p)), uint32_t(bufferHeight(p))};
    spa_fraction rate{uint32_t(Producer::fps), 1};
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                        SPA_POD_Id(p.format.format), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
                        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate), 0);
    const bool dmaBuf = p.memory != Producer::Memory::Shared;
    if (dmaBuf) {
        spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_modifier, SPA_POD_PROP_FLAG_MANDATORY);
        spa_pod_builder_long(&builder, 0);  // DRM_FORMAT_MOD_LINEAR
    }
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame))};
    pw_stream_connect(p.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER |
                                      (dmaBuf ? PW_STREAM_FLAG_ALLOC_BUFFERS : PW_STREAM_FLAG_MAP_BUFFERS)),
                      params, 1);

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
