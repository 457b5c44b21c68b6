#include "platform/wayland/pipewire_screen_stream.h"

#include <linux/dma-buf.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMetaObject>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

#include "platform/wayland/area_means.h"
#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/stream_health.h"

namespace {

// Byte offsets of red, green and blue within a 32-bit pixel, for the formats the stream accepts.
struct Layout {
    spa_video_format format;
    int red, green, blue;
};
constexpr Layout kLayouts[] = {
    {SPA_VIDEO_FORMAT_BGRx, 2, 1, 0}, {SPA_VIDEO_FORMAT_BGRA, 2, 1, 0}, {SPA_VIDEO_FORMAT_RGBx, 0, 1, 2},
    {SPA_VIDEO_FORMAT_RGBA, 0, 1, 2}, {SPA_VIDEO_FORMAT_xRGB, 1, 2, 3}, {SPA_VIDEO_FORMAT_ARGB, 1, 2, 3},
    {SPA_VIDEO_FORMAT_xBGR, 3, 2, 1}, {SPA_VIDEO_FORMAT_ABGR, 3, 2, 1},
};

// DRM_FORMAT_MOD_LINEAR: a DMA-BUF laid out row after row, as shared memory is.
constexpr uint64_t LinearModifier = 0;

// How often the stream's health is looked at.
constexpr int HealthCheckMs = 250;

qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A DMA-BUF buffer's memory as we mapped it (PipeWire maps shared memory only), kept as the buffer's user
// data while the stream has the buffer. Only a linear layout is asked for, so the rows lie as in shared
// memory.
struct DmaBufMapping {
    void* address = MAP_FAILED;
    size_t length = 0;
    bool syncs = true;  // false once the buffer's file has said it knows no DMA_BUF_IOCTL_SYNC

    // Maps the whole of `data` or nothing: never more than the file holds, so no read can fault.
    explicit DmaBufMapping(const spa_data& data) {
        struct stat status {};
        if (data.fd < 0 || fstat(int(data.fd), &status) < 0) return;
        off_t size = status.st_size;
        if (size <= 0) size = lseek(int(data.fd), 0, SEEK_END);  // a DMA-BUF tells its size this way
        length = size_t(data.mapoffset) + data.maxsize;
        if (data.maxsize == 0 || size < 0 || length > size_t(size)) return;
        address = mmap(nullptr, length, PROT_READ, MAP_SHARED, int(data.fd), 0);
    }
    ~DmaBufMapping() {
        if (address != MAP_FAILED) munmap(address, length);
    }

    // Brackets a read for the exporter, which may have to make the memory coherent for the CPU.
    void Sync(int fd, bool start) {
        if (!syncs) return;
        dma_buf_sync sync{__u64(DMA_BUF_SYNC_READ | (start ? DMA_BUF_SYNC_START : DMA_BUF_SYNC_END))};
        int result;
        do result = ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync);
        while (result < 0 && (errno == EINTR || errno == EAGAIN));
        if (result < 0 && errno == ENOTTY) syncs = false;  // not a real DMA-BUF: plain memory
    }
};

// The first byte of the buffer's memory that the CPU can read (its chunk's offset is counted from there), or
// null when it cannot be read.
const uchar* memoryOf(const pw_buffer& buffer) {
    const spa_data& data = buffer.buffer->datas[0];
    if (data.type != SPA_DATA_DmaBuf) return static_cast<const uchar*>(data.data);
    const auto* mapping = static_cast<const DmaBufMapping*>(buffer.user_data);
    if (!mapping || mapping->address == MAP_FAILED) return nullptr;
    return static_cast<const uchar*>(mapping->address) + data.mapoffset;
}

// Where the buffer's producer put the picture: its crop and transform, when it sends them.
FrameGeometry geometryOf(const spa_buffer& buffer, QSize size) {
    QRect crop;
    if (const auto* region = static_cast<const spa_meta_region*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region))))
        crop = QRect(region->region.position.x, region->region.position.y, int(region->region.size.width),
                     int(region->region.size.height));
    quint32 transform = SPA_META_TRANSFORMATION_None;
    if (const auto* meta = static_cast<const spa_meta_videotransform*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_VideoTransform, sizeof(spa_meta_videotransform))))
        transform = meta->transform;
    return FrameGeometryOf(size, crop, transform);
}

// What a buffer brings: no picture (only a cursor's or damage's news), a picture that cannot be read, or a
// whole frame of `size` pixels of 4 bytes, its picture where `geometry` says.
enum class Picture { None, Broken, Whole };

Picture pictureIn(const pw_buffer& whole, QSize size, FrameGeometry& geometry) {
    const spa_buffer& buffer = *whole.buffer;
    if (buffer.n_datas == 0 || !buffer.datas[0].chunk) return Picture::Broken;
    const spa_data& data = buffer.datas[0];
    if (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) return Picture::Broken;
    if (data.chunk->size == 0) return Picture::None;
    if (!memoryOf(whole) || size.isEmpty()) return Picture::Broken;
    geometry = geometryOf(buffer, size);
    if (geometry.crop.isEmpty()) return Picture::Broken;
    const qsizetype row = qsizetype(size.width()) * 4;
    const qsizetype stride = data.chunk->stride > 0 ? data.chunk->stride : row;
    const qsizetype frame = stride * (size.height() - 1) + row;
    const qsizetype offset = data.chunk->offset % qMax<quint32>(data.maxsize, 1);
    if (stride < row || qsizetype(data.chunk->size) < frame || offset + frame > qsizetype(data.maxsize))
        return Picture::Broken;
    return Picture::Whole;
}

void initPipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

}  // namespace

struct PipeWireScreenStream::Private {
    PipeWireScreenStream* q = nullptr;
    quint32 node = 0;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{}, registryListener{}, streamListener{};
    std::atomic<bool> over{false};
    bool framed = false;  // PipeWire's thread only

    // What the tick reads, guarded by `mutex`.
    mutable std::mutex mutex;
    pw_buffer* kept = nullptr;
    quint64 keptNumber = 0;  // the kept frame's place among the frames kept, from 1
    FrameGeometry geometry;  // of the kept frame
    QSize size;
    Layout layout{};
    std::atomic<bool> hasFrame{false};
    std::atomic<quint64> frames{0};
    mutable std::atomic<quint64> reads{0};
    std::atomic<bool> newFramePosted{false};
    StreamHealth health{nowMs()};

    void end(const QString& reason) {
        if (over.exchange(true)) return;
        QMetaObject::invokeMethod(
            q, [q = q, reason] { emit q->Ended(reason); }, Qt::QueuedConnection);
    }

    // The kept frame's first byte that holds the picture's rows and their stride, with `part` (in the
    // buffer's pixels) checked to lie within the buffer's memory; null when it does not. Under `mutex`.
    const uchar* rowsFor(const QRect& part, qsizetype& stride) const;
    // Brackets a read of the kept frame for the exporter of a DMA-BUF. Under `mutex`.
    void syncKept(bool start) const;

    void connectStream();
    void formatChanged(const spa_pod* param);
    void process();
};

void PipeWireScreenStream::Private::connectStream() {
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = [](void* data, uint32_t id, int, int, const char* message) {
            if (id == PW_ID_CORE) static_cast<Private*>(data)->end(QString::fromUtf8(message));
        };
        return events;
    }();
    pw_core_add_listener(core, &coreListener, &coreEvents, this);

    // The producer's node leaving the graph is the end of the stream: the desktop stopped sharing.
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global_remove = [](void* data, uint32_t id) {
            auto* self = static_cast<Private*>(data);
            if (id == self->node) self->end(QStringLiteral("the screen-cast node is gone"));
        };
        return events;
    }();
    registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(registry, &registryListener, &registryEvents, this);

    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = [](void* data, pw_stream_state old, pw_stream_state state, const char* error) {
            auto* self = static_cast<Private*>(data);
            if (state == PW_STREAM_STATE_ERROR)
                self->end(QString::fromUtf8(error ? error : "stream error"));
            else if (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED)
                self->end(QStringLiteral("the stream was disconnected"));
        };
        events.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
            if (id == SPA_PARAM_Format) static_cast<Private*>(data)->formatChanged(param);
        };
        events.add_buffer = [](void*, pw_buffer* buffer) {
            if (buffer->buffer->n_datas > 0 && buffer->buffer->datas[0].type == SPA_DATA_DmaBuf)
                buffer->user_data = new DmaBufMapping(buffer->buffer->datas[0]);
        };
        events.remove_buffer = [](void* data, pw_buffer* buffer) {
            auto* self = static_cast<Private*>(data);
            {
                std::lock_guard lock(self->mutex);
                if (self->kept == buffer) self->kept = nullptr;
            }
            if (buffer->buffer->n_datas > 0 && buffer->buffer->datas[0].type == SPA_DATA_DmaBuf)
                delete static_cast<DmaBufMapping*>(std::exchange(buffer->user_data, nullptr));
        };
        events.process = [](void* data) { static_cast<Private*>(data)->process(); };
        return events;
    }();
    pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Screen", nullptr);
    stream = pw_stream_new(core, "Varnex AmbiLight", props);
    pw_stream_add_listener(stream, &streamListener, &streamEvents, this);

    // The formats twice, as screen-cast clients offer them: first as DMA-BUF of a linear layout (the
    // modifier), which a compositor that renders on the GPU can hand out without a copy of its own; then
    // without a modifier, for shared memory.
    uint8_t buffer[2048];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle sizeDefault{1920, 1080}, sizeMin{1, 1}, sizeMax{16384, 16384};
    // The line takes at most 40 frames a second: more only costs the copying.
    spa_fraction rateDefault{30, 1}, rateMin{0, 1}, rateMax{60, 1};
    const auto format = [&](bool linear) {
        spa_pod_frame frame{};
        spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
        spa_pod_builder_add(
            &builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                   SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB,
                                   SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_ABGR),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax), 0);
        if (linear) {
            spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_modifier,
                                 SPA_POD_PROP_FLAG_MANDATORY | SPA_POD_PROP_FLAG_DONT_FIXATE);
            spa_pod_frame choice{};
            spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
            spa_pod_builder_long(&builder, LinearModifier);  // the preferred one, then the list
            spa_pod_builder_long(&builder, LinearModifier);
            spa_pod_builder_pop(&builder, &choice);
        }
        return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    };
    const spa_pod* params[] = {format(true), format(false)};
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_DONT_RECONNECT);
    if (const int result = pw_stream_connect(stream, PW_DIRECTION_INPUT, node, flags, params, 2); result < 0)
        end(QString::fromUtf8(strerror(-result)));
}

void PipeWireScreenStream::Private::formatChanged(const spa_pod* param) {
    std::lock_guard lock(mutex);
    kept = nullptr;  // the buffers go with the old format
    hasFrame = false;
    health.Restart(nowMs());
    spa_video_info_raw info{};
    if (!param || spa_format_video_raw_parse(param, &info) < 0) return;
    for (const Layout& candidate : kLayouts)
        if (candidate.format == info.format) layout = candidate;
    size = QSize(int(info.size.width), int(info.size.height));
    // A format with a modifier comes in DMA-BUF; only the linear one was offered. Any other could not be
    // read, so its buffers would count as broken: no size, no picture.
    const bool dmaBuf = info.flags & SPA_VIDEO_FLAG_MODIFIER;
    if (dmaBuf && info.modifier != LinearModifier) size = QSize();

    // The buffers' memory, and room for the crop and transform the producer may send with every buffer.
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const int dataTypes = dmaBuf ? 1 << SPA_DATA_DmaBuf : (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd);
    const spa_pod* params[] = {
        static_cast<const spa_pod*>(spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamBuffers,
                                                               SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
                                                               SPA_POD_CHOICE_FLAGS_Int(dataTypes))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region)))),
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                       SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoTransform),
                                       SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_videotransform)))),
    };
    pw_stream_update_params(stream, params, 3);
}

void PipeWireScreenStream::Private::process() {
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream)) {
        if (newest) pw_stream_queue_buffer(stream, newest);
        newest = buffer;
    }
    if (!newest) return;
    // A buffer with no picture keeps the frame we have; so does a broken one, which also counts against the
    // stream's health.
    FrameGeometry frameGeometry;
    if (const Picture picture = pictureIn(*newest, size, frameGeometry); picture != Picture::Whole) {
        if (picture == Picture::Broken) {
            std::lock_guard lock(mutex);
            health.Broken(nowMs());
        }
        pw_stream_queue_buffer(stream, newest);
        return;
    }
    pw_buffer* old = nullptr;
    {
        std::lock_guard lock(mutex);
        old = kept;
        kept = newest;
        keptNumber = frames + 1;
        geometry = frameGeometry;
        hasFrame = true;
        health.Usable();
    }
    if (old) pw_stream_queue_buffer(stream, old);
    ++frames;
    if (!newFramePosted.exchange(true))
        QMetaObject::invokeMethod(
            q,
            [this] {
                newFramePosted = false;
                emit q->NewFrame();
            },
            Qt::QueuedConnection);
    if (!framed) {
        framed = true;
        QMetaObject::invokeMethod(
            q, [q = q] { emit q->FirstFrame(); }, Qt::QueuedConnection);
    }
}

PipeWireScreenStream::PipeWireScreenStream(int remoteFd, quint32 node, QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    initPipeWireOnce();
    d_->q = this;
    d_->node = node;
    d_->loop = pw_thread_loop_new("varnex-capture", nullptr);
    d_->context = pw_context_new(pw_thread_loop_get_loop(d_->loop), nullptr, 0);
    pw_thread_loop_lock(d_->loop);
    pw_thread_loop_start(d_->loop);
    d_->core = pw_context_connect_fd(d_->context, remoteFd, nullptr, 0);
    if (d_->core)
        d_->connectStream();
    else
        d_->end(QString::fromUtf8(strerror(errno)));
    pw_thread_loop_unlock(d_->loop);

    auto* healthCheck = new QTimer(this);
    connect(healthCheck, &QTimer::timeout, this, [this, healthCheck] {
        std::unique_lock lock(d_->mutex);
        const bool starved = d_->health.Starved(nowMs());
        lock.unlock();
        if (!starved && !d_->over) return;
        healthCheck->stop();
        if (!d_->over.exchange(true)) emit Starved();
    });
    healthCheck->start(HealthCheckMs);
}

PipeWireScreenStream::~PipeWireScreenStream() {
    pw_thread_loop_stop(d_->loop);
    if (d_->stream) pw_stream_destroy(d_->stream);
    if (d_->registry) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(d_->registry));
    if (d_->core) pw_core_disconnect(d_->core);
    pw_context_destroy(d_->context);
    pw_thread_loop_destroy(d_->loop);
}

QSize PipeWireScreenStream::FrameSize() const {
    std::lock_guard lock(d_->mutex);
    return d_->kept ? d_->geometry.PictureSize() : QSize();
}

bool PipeWireScreenStream::HasFrame() const {
    return d_->hasFrame;
}

quint64 PipeWireScreenStream::FramesReceived() const {
    return d_->frames;
}

const uchar* PipeWireScreenStream::Private::rowsFor(const QRect& part, qsizetype& stride) const {
    const spa_data& data = kept->buffer->datas[0];
    stride = data.chunk->stride > 0 ? data.chunk->stride : qsizetype(size.width()) * 4;
    const qsizetype offset = data.chunk->offset % qMax<quint32>(data.maxsize, 1);
    // A chunk that does not hold the whole part gives nothing rather than a read past its end.
    if (part.left() < 0 || part.top() < 0 ||
        offset + stride * part.bottom() + 4 * qsizetype(part.right() + 1) > qsizetype(data.maxsize))
        return nullptr;
    const uchar* memory = memoryOf(*kept);
    return memory ? memory + offset : nullptr;
}

void PipeWireScreenStream::Private::syncKept(bool start) const {
    const spa_data& data = kept->buffer->datas[0];
    if (data.type == SPA_DATA_DmaBuf)
        if (auto* mapping = static_cast<DmaBufMapping*>(kept->user_data)) mapping->Sync(int(data.fd), start);
}

PixelBlock PipeWireScreenStream::Copy(const QRect& rect, std::vector<quint32>& into) const {
    std::lock_guard lock(d_->mutex);
    if (!d_->kept) return {};
    // The picture's part as the buffer holds it: its pixels come turned or mirrored as the buffer's are.
    const QRect part = d_->geometry.BufferRect(rect);
    if (part.isEmpty()) return {};
    qsizetype stride = 0;
    const uchar* frame = d_->rowsFor(part, stride);
    if (!frame) return {};
    d_->syncKept(true);
    ++d_->reads;

    into.resize(size_t(part.width()) * size_t(part.height()));
    const Layout& layout = d_->layout;
    for (int row = 0; row < part.height(); ++row) {
        const uchar* from = frame + stride * (part.top() + row) + 4 * qsizetype(part.left());
        quint32* to = into.data() + size_t(row) * size_t(part.width());
        if (layout.red == 2 && layout.green == 1 && layout.blue == 0) {
            std::memcpy(to, from, size_t(part.width()) * 4);
            continue;
        }
        for (int i = 0; i < part.width(); ++i, from += 4)
            to[i] = quint32(from[layout.red]) << 16 | quint32(from[layout.green]) << 8 | from[layout.blue];
    }
    d_->syncKept(false);
    return {reinterpret_cast<const uchar*>(into.data()), part.width(), part.height(),
            qsizetype(part.width()) * 4};
}

bool PipeWireScreenStream::Means(std::span<const QRect> rects, quint64& frame,
                                 std::vector<quint32>& means) const {
    std::lock_guard lock(d_->mutex);
    if (d_->kept && d_->keptNumber == frame) return false;
    frame = d_->kept ? d_->keptNumber : 0;
    means.assign(rects.size(), 0);
    if (!d_->kept) return true;
    // Each rectangle where the buffer holds it, and the frame's rows if all of them lie in its memory.
    std::vector<QRect> parts(rects.size());
    QRect all;
    for (size_t i = 0; i < rects.size(); ++i) {
        parts[i] = d_->geometry.BufferRect(rects[i]);
        all |= parts[i];
    }
    qsizetype stride = 0;
    const uchar* rows = all.isEmpty() ? nullptr : d_->rowsFor(all, stride);
    if (!rows) return true;
    d_->syncKept(true);
    ++d_->reads;
    means = AreaMeans({rows, stride, d_->layout.red, d_->layout.green, d_->layout.blue}, parts);
    d_->syncKept(false);
    return true;
}

quint64 PipeWireScreenStream::Reads() const {
    return d_->reads;
}
