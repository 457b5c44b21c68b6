// AmbiLight through the desktop portal's screen cast against the X server's capture, on the same 1920 x 1080
// screen with mode "0,0" (a real PipeWire daemon and WirePlumber, a producer streaming 1920 x 1080 frames at
// 40 a second, the real xdg-desktop-portal with the tests' stand-in backend on the private session bus), in
// the order 4, 1, 2, 3:
//  1. the receiving end alone, keeping the newest frame of the stream: this process's CPU per second and per
//     frame, the adapter's PipeWire stream against GStreamer's pipewiresrc into a fakesink that does the
//     same;
//  2. whole-process CPU per AmbiLight frame (frames counted as the board receives them) against the virtual
//     board paced to 960 bytes a second (the line's 40 frames a second), X11 against portal;
//  3. the latency from a repaint of the screen to the first frame on the line that shows it (a
//     pseudo-terminal read as fast as it fills), median and 95th percentile over 50 repaints;
//  4. Varnex's own share of the latency: a plain libpipewire consumer reads the same node beside
//     AmbiLight and notes when each buffer arrives; per colour change, from the first buffer showing
//     the new colours to the first frame on the line showing them (the line a pseudo-terminal read on
//     a thread of its own as fast as it fills), median and 95th percentile, with the frame rate on the
//     line. Once with a still screen before each change (no buffers, as a compositor sends nothing
//     while nothing changes), once with the producer's frames all along.
//  5. (alone, with --strip) an LED strip's cost per new frame: the receiving end alone, and on every frame
//     it keeps, today's four zones read as the tick reads them (copied out and averaged, mode "0,0") against
//     the means of 300 LEDs (96, 54, 96, 54, 10 % deep) in one read of the frame, and those LEDs again on
//     the same frame (a still screen's repeat, which reuses the means); thread CPU and wall time per call,
//     the two orders taking turns. The producer sends a labelled picture, every pixel different.
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" dbus-run-session
//          --config-file=tests/support/session_bus.conf -- bench_ambilight_portal [seconds]
// or, for the fourth part alone, the same with `bench_ambilight_portal --share [changes]` (40 unless given);
// for the fifth alone (it starts no portal), the same with `bench_ambilight_portal --strip [seconds [turn]]`
// (10 seconds unless given; `turn` sends the picture turned as PipeWire's video transform says, 0 to 7).

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/messages.h"
#include "light/ambilight_zones.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "light/strip_layout.h"
#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/pipewire_screen_stream.h"
#include "platform/wayland/stream_led_colours.h"
#include "remote/remote_client.h"
#include "tests/support/light_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/screen_cast_stand_in.h"

#include <gst/gst.h>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

// Last: Xlib defines macros (Bool, Status) that Qt headers must not see.
#include <X11/Xlib.h>
#undef None  // X's null resource; the producer's "none" is meant below

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The screen as four quarters, for either capture: the stream's producer, or the X root window.
struct Screen {
    virtual ~Screen() = default;
    virtual void Paint(const QList<quint32>& quarters) = 0;
};

struct StreamScreen : Screen {
    ScreenProducer& producer;
    explicit StreamScreen(ScreenProducer& producer) : producer(producer) {}
    void Paint(const QList<quint32>& quarters) override { producer.Paint(quarters); }
};

struct RootScreen : Screen {
    Display* display = XOpenDisplay(nullptr);
    ~RootScreen() override { XCloseDisplay(display); }
    void Paint(const QList<quint32>& quarters) override {
        const Window root = DefaultRootWindow(display);
        GC gc = XCreateGC(display, root, 0, nullptr);
        for (int i = 0; i < 4; ++i) {
            XSetForeground(display, gc, quarters[i]);
            XFillRectangle(display, root, gc, (i / 2) * kWidth / 2, (i % 2) * kHeight / 2, kWidth / 2,
                           kHeight / 2);
        }
        XFreeGC(display, gc);
        XSync(display, False);
    }
};

void receivingEnd(const PipeWireDaemons& daemons, ScreenProducer& producer, int seconds) {
    const auto measure = [&](const char* name, const std::function<qint64()>& frames) {
        wait(1000);
        const qint64 framesBefore = frames();
        const double before = processCpuMs();
        wait(seconds * 1000);
        const double cpu = processCpuMs() - before;
        const qint64 received = frames() - framesBefore;
        std::printf("%-44s %.2f ms CPU per second, %lld frames, %.3f ms per frame\n", name, cpu / seconds,
                    qlonglong(received), received > 0 ? cpu / double(received) : -1.0);
    };
    {
        PipeWireScreenStream stream(daemons.Connect(), producer.Node());
        measure("PipeWire stream, newest frame kept", [&] { return qint64(stream.FramesReceived()); });
    }
    gst_init(nullptr, nullptr);
    const QByteArray description = QStringLiteral(
                                       "pipewiresrc fd=%1 path=%2 ! fakesink name=sink sync=false "
                                       "signal-handoffs=true")
                                       .arg(daemons.Connect())
                                       .arg(producer.Node())
                                       .toUtf8();
    GstElement* pipeline = gst_parse_launch(description.constData(), nullptr);
    struct Kept {
        GstBuffer* buffer = nullptr;
        std::atomic<qint64> frames{0};
    } kept;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer* buffer, GstPad*, Kept* kept) {
                         gst_buffer_ref(buffer);
                         if (kept->buffer) gst_buffer_unref(kept->buffer);
                         kept->buffer = buffer;
                         ++kept->frames;
                     }),
                     &kept);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    measure("GStreamer pipewiresrc, newest buffer kept", [&] { return kept.frames.load(); });
    gst_element_set_state(pipeline, GST_STATE_NULL);
    if (kept.buffer) gst_buffer_unref(kept.buffer);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
}

struct Program {
    QTemporaryDir dir;
    messages::Recorder recorder;
    App app{dir.path()};
    LightControlsOf form{*app.Form1};
    Program(const QByteArray& capture, const QString& port) {
        qputenv("VARNEX_CAPTURE", capture);
        app.Light().OpenPort(port);
        form.ComboBox1->addItem(QStringLiteral("0,0"));
        form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);
    }
};

void cpuPerFrame(const char* name, const QByteArray& capture, int seconds) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("board"));
    QProcess board;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    board.setProcessEnvironment(env);
    board.start(QStringLiteral(VARNEX_BOARD_EXECUTABLE),
                {QStringLiteral("--link"), link, QStringLiteral("--pace"), QStringLiteral("--print")});
    if (!board.waitForReadyRead(10000))
        return (void)std::fprintf(stderr, "the virtual board did not start\n");

    Program program(capture, link);
    // The frames that reached the board: 12 items (a letter and its digit) each, as the board prints them.
    qint64 items = 0;
    QObject::connect(&board, &QProcess::readyReadStandardOutput, [&] {
        while (board.canReadLine()) {
            const QList<QByteArray> words = board.readLine().trimmed().split(' ');
            if (words.size() >= 4 && words[0] == "levels" && words[2] == "items")
                items = words[3].toLongLong();
        }
    });
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    const auto ticksIn = [&](int ms) {
        const qint64 start = items;
        wait(ms);
        return (items - start) / 12;
    };
    // Paced once the pseudo-terminal's buffer is full: a second with no more frames than the line allows.
    for (int i = 0; i < 120 && ticksIn(1000) > 45; ++i) {
    }
    const double before = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    const qint64 frames = ticksIn(seconds * 1000);
    const double cpu = processCpuMs() - before;
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    std::printf("%-8s %.1f frames/s; process CPU %.3f ms per frame (%.1f %% of one core); messages: %lld\n",
                name, frames * 1000.0 / clock.elapsed(), cpu / frames, 100.0 * cpu / clock.elapsed(),
                qlonglong(program.recorder.shown().size()));
    board.terminate();
    board.waitForFinished(5000);
}

void latency(const char* name, const QByteArray& capture, Screen& screen) {
    PseudoTerminal line;
    Program program(capture, line.slavePath());
    QByteArray got;
    // The last whole frame on the line; frames follow the start's 41 bytes.
    const auto lastFrame = [&] {
        got += line.read(0, 0);
        const qsizetype whole = (got.size() - 41) / 24;
        return whole > 0 ? got.mid(41 + (whole - 1) * 24, 24) : QByteArray();
    };
    const QList<QList<quint32>> pictures{{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                         {0x000000, 0x808080, 0xFFFF00, 0x00FFFF}};
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    QByteArray frames[2];
    for (int i = 0; i < 2; ++i) {
        screen.Paint(pictures[i]);
        wait(1500);
        frames[i] = lastFrame();
    }
    std::vector<double> ms;
    for (int repaint = 0; repaint < 50; ++repaint) {
        const int next = repaint % 2 == 0 ? 0 : 1;
        got = got.left(41) + lastFrame();  // what came before the repaint does not count
        QElapsedTimer clock;
        clock.start();
        screen.Paint(pictures[next]);
        const qsizetype from = got.size();
        while (clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            got += line.read(0, 0);
            bool seen = false;
            for (qsizetype at = 41 + ((from - 41) / 24) * 24; at + 24 <= got.size() && !seen; at += 24)
                seen = got.mid(at, 24) == frames[next];
            if (seen) break;
        }
        ms.push_back(clock.nsecsElapsed() / 1e6);
        wait(100);
    }
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    std::sort(ms.begin(), ms.end());
    std::printf("%-8s repaint to line: median %.1f ms, p95 %.1f ms, max %.1f ms (50 repaints)\n", name,
                median(ms), ms[size_t(ms.size() * 95 / 100)], ms.back());
}

qint64 monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A plain consumer of the screen-cast node: a pw_stream on a thread loop of its own that notes when each
// buffer arrives (CLOCK_MONOTONIC) and the colour of its upper left pixel, and gives the buffer back at once.
class PlainConsumer {
public:
    struct Arrival {
        qint64 ns;
        quint32 colour;
    };

    PlainConsumer(int remoteFd, quint32 node) {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("plain-consumer", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_lock(loop_);
        pw_thread_loop_start(loop_);
        core_ = pw_context_connect_fd(context_, remoteFd, nullptr, 0);
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.process = [](void* data) { static_cast<PlainConsumer*>(data)->process(); };
            return e;
        }();
        stream_ = pw_stream_new(core_, "plain consumer",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                  "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        pw_stream_add_listener(stream_, &listener_, &events, this);
        uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle sizeDefault{kWidth, kHeight}, sizeMin{1, 1}, sizeMax{16384, 16384};
        spa_fraction rateDefault{30, 1}, rateMin{0, 1}, rateMax{60, 1};
        const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax)))};
        pw_stream_connect(stream_, PW_DIRECTION_INPUT, node,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params,
                          1);
        pw_thread_loop_unlock(loop_);
    }
    ~PlainConsumer() {
        pw_thread_loop_stop(loop_);
        pw_stream_destroy(stream_);
        pw_core_disconnect(core_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }

    std::vector<Arrival> Arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }

private:
    void process() {
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
            const qint64 ns = monotonicNs();
            const spa_data& data = buffer->buffer->datas[0];
            if (data.data && data.chunk && data.chunk->size >= 4) {
                quint32 pixel = 0;
                std::memcpy(&pixel, static_cast<const char*>(data.data) + data.chunk->offset, 4);
                std::lock_guard lock(mutex_);
                arrivals_.push_back({ns, pixel & 0xFFFFFF});
            }
            pw_stream_queue_buffer(stream_, buffer);
        }
    }

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    mutable std::mutex mutex_;
    std::vector<Arrival> arrivals_;
};

// The board's end of the line, read on a thread of its own as fast as bytes come: each 24-byte frame after
// the start's 41 bytes, with the time its last byte was read.
class LineReader {
public:
    struct Frame {
        qint64 ns;
        QByteArray bytes;
    };

    LineReader() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        slavePath_ = QString::fromLocal8Bit(ptsname(master_));
        slave_ =
            ::open(ptsname(master_), O_RDWR | O_NOCTTY);  // the line stays up between the program's opens
        thread_ = std::thread([this] { run(); });
    }
    ~LineReader() {
        stop_ = true;
        thread_.join();
        ::close(slave_);
        ::close(master_);
    }
    QString SlavePath() const { return slavePath_; }
    std::vector<Frame> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }

private:
    void run() {
        QByteArray pending;
        qsizetype skip = 41;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) continue;
            char chunk[4096];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            const qint64 ns = monotonicNs();
            if (got <= 0) continue;
            pending.append(chunk, got);
            const qsizetype skipped = qMin(skip, pending.size());
            pending.remove(0, skipped);
            skip -= skipped;
            std::lock_guard lock(mutex_);
            for (; pending.size() >= 24; pending.remove(0, 24)) frames_.push_back({ns, pending.left(24)});
        }
    }

    int master_ = -1, slave_ = -1;
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
};

// Per colour change: the first buffer of the new picture at the plain consumer, the first frame showing it
// on the line, the difference being Varnex's share. `still`: no buffers for a while before each change.
void share(const PipeWireDaemons& daemons, ScreenProducer& producer, int changes, bool still) {
    LineReader line;
    Program program("portal", line.SlavePath());
    PlainConsumer consumer(daemons.Connect(), producer.Node());
    const QList<QList<quint32>> pictures{{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                         {0x000000, 0x808080, 0xFFFF00, 0x00FFFF}};
    producer.Send(ScreenProducer::Buffers::Frames);
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    QByteArray expected[2];
    for (int i = 0; i < 2; ++i) {
        producer.Paint(pictures[i]);
        wait(1500);
        const auto frames = line.Frames();
        if (!frames.empty()) expected[i] = frames.back().bytes;
    }
    std::mt19937 random(26);
    std::vector<double> ms;
    int missed = 0;
    const size_t framesBefore = line.Frames().size();
    const qint64 startNs = monotonicNs();
    for (int change = 0; change < changes; ++change) {
        const int next = change % 2 == 0 ? 0 : 1;
        if (still) producer.Send(ScreenProducer::Buffers::None);
        wait(150 + int(random() % 100));  // a phase of its own against every timer
        const qint64 fromNs = monotonicNs();
        const size_t arrivalsFrom = consumer.Arrivals().size(), framesFrom = line.Frames().size();
        producer.Paint(pictures[next]);
        wait(250);
        const auto arrivals = consumer.Arrivals();
        const auto frames = line.Frames();
        qint64 arrived = -1, shown = -1;
        for (size_t i = arrivalsFrom; i < arrivals.size() && arrived < 0; ++i)
            if (arrivals[i].ns >= fromNs && arrivals[i].colour == pictures[next][0]) arrived = arrivals[i].ns;
        for (size_t i = framesFrom; i < frames.size() && shown < 0; ++i)
            if (frames[i].bytes == expected[next]) shown = frames[i].ns;
        if (arrived < 0 || shown < 0) {
            ++missed;
            continue;
        }
        ms.push_back((shown - arrived) / 1e6);
    }
    const qint64 endNs = monotonicNs();
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    producer.Send(ScreenProducer::Buffers::Frames);
    const auto frames = line.Frames();
    size_t arrivals = 0;
    for (const PlainConsumer::Arrival& arrival : consumer.Arrivals())
        arrivals += arrival.ns >= startNs && arrival.ns <= endNs;
    // The rate on the line over the run, the most frames in any one second of it, the closest two frames
    // (as the reader saw them), and frames that matched neither picture.
    size_t count = 0, busiest = 0, foreign = 0;
    double closest = 1e9;
    for (size_t i = framesBefore, first = framesBefore; i < frames.size() && frames[i].ns <= endNs; ++i) {
        ++count;
        while (frames[i].ns - frames[first].ns >= 1000000000) ++first;
        busiest = std::max(busiest, i - first + 1);
        if (i > framesBefore) closest = std::min(closest, (frames[i].ns - frames[i - 1].ns) / 1e6);
        if (frames[i].bytes != expected[0] && frames[i].bytes != expected[1]) ++foreign;
    }
    std::printf(
        "%s screen before each change: Varnex's share (consumer's buffer -> line) median %.2f ms, "
        "p95 %.2f ms, max %.2f ms over %zu changes (%d not seen)\n",
        still ? "still" : "moving", median(ms), quantile(ms, 0.95),
        ms.empty() ? -1.0 : *std::max_element(ms.begin(), ms.end()), ms.size(), missed);
    std::printf(
        "  line: %.1f frames/s over %.1f s, at most %zu in any second, closest two %.2f ms apart, "
        "%zu frames of neither picture; the plain consumer got %.1f buffers/s\n",
        count * 1e9 / double(endNs - startNs), (endNs - startNs) / 1e9, busiest, closest, foreign,
        arrivals * 1e9 / double(endNs - startNs));
    std::printf("  shares (ms):");
    for (const double m : ms) std::printf(" %.2f", m);
    std::printf("\n");
}

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void stripCost(int seconds, int turn) {
    PipeWireDaemons daemons;
    ScreenProducer producer(daemons, kWidth, kHeight, {0x000000, 0x402000, 0x004020, 0x200040}, {turn, {}},
                            ScreenProducer::Labelled{});
    if (!daemons.Running() || !producer.Node())
        return (void)std::fprintf(stderr, "PipeWire or the producer did not start\n");
    PipeWireScreenStream stream(daemons.Connect(), producer.Node());
    QElapsedTimer started;
    started.start();
    while (!stream.HasFrame() && started.elapsed() < 10000) wait(50);
    if (!stream.HasFrame()) return (void)std::fprintf(stderr, "no frame from the producer\n");

    const QSize screen(kWidth, kHeight);
    const std::vector<QRect> leds =
        LedAreas({96, 54, 96, 54, StripCorner::BottomLeft, StripDirection::Clockwise, 0, 10}, screen);
    // The zones as the portal's adapter reads them for the tick: each copied out of the frame, then averaged.
    std::vector<quint32> copies[4];
    const auto zones = [&] {
        quint32 sum = 0;
        for (int slot = 0; const ZoneArea& area : ZoneAreas(0, 0, kWidth, kHeight)) {
            const QRect part =
                ClipRect(area.left, area.top, ZoneWidth, ZoneHeight, QRect(QPoint(0, 0), screen));
            sum +=
                AverageColour(stream.Copy(ScaledToPicture(part, screen, stream.FrameSize()), copies[slot++]));
        }
        return sum;
    };
    StreamLedColours colours;
    const auto strip = [&] { return colours.Of(stream, screen, leds).size(); };

    struct Cost {
        std::vector<double> cpuUs, wallUs;
        void add(qint64 cpuNs, qint64 wallNs) {
            cpuUs.push_back(cpuNs / 1e3);
            wallUs.push_back(wallNs / 1e3);
        }
    } zoneCost, ledCost, repeatCost;
    const auto timed = [](Cost& cost, const auto& work) {
        const qint64 cpu = threadCpuNs(), wall = monotonicNs();
        work();
        cost.add(threadCpuNs() - cpu, monotonicNs() - wall);
    };
    quint64 frames = 0;
    const quint64 readsBefore = stream.Reads();
    QObject::connect(&stream, &PipeWireScreenStream::NewFrame, [&] {
        if (++frames % 2) {
            timed(zoneCost, zones);
            timed(ledCost, strip);
        } else {
            timed(ledCost, strip);
            timed(zoneCost, zones);
        }
        timed(repeatCost, strip);
    });
    const quint64 received = stream.FramesReceived();
    const double cpuBefore = processCpuMs();
    wait(seconds * 1000);
    const double cpu = processCpuMs() - cpuBefore;
    QObject::disconnect(&stream, &PipeWireScreenStream::NewFrame, nullptr, nullptr);
    std::printf(
        "%d x %d turned %d, %llu frames kept in %d s, %llu read by the calls; process CPU %.2f ms per "
        "frame\n",
        kWidth, kHeight, turn, qulonglong(stream.FramesReceived() - received), seconds,
        qulonglong(stream.Reads() - readsBefore), qulonglong(frames) ? cpu / double(frames) : -1.0);
    const auto print = [](const char* name, const Cost& cost) {
        const auto mean = [](const std::vector<double>& values) {
            double sum = 0;
            for (const double value : values) sum += value;
            return values.empty() ? -1.0 : sum / double(values.size());
        };
        std::printf(
            "%-40s thread CPU median %8.1f us, p95 %8.1f us, mean %8.1f us; wall median %8.1f us "
            "(%zu calls)\n",
            name, median(cost.cpuUs), quantile(cost.cpuUs, 0.95), mean(cost.cpuUs), median(cost.wallUs),
            cost.cpuUs.size());
    };
    print("four zones (copy + average), new frame", zoneCost);
    print("300 LEDs (LedColours), new frame", ledCost);
    print("300 LEDs again, same frame", repeatCost);
    std::printf("300 LEDs / four zones, thread CPU medians: %.2f\n",
                median(ledCost.cpuUs) / median(zoneCost.cpuUs));
}

}  // namespace

int main(int argc, char** argv) {
    FindModulesInBuildFolder();
    QApplication application(argc, argv);
    App::Prepare();
    if (argc > 1 && QByteArray(argv[1]) == "--strip") {
        stripCost(argc > 2 ? std::atoi(argv[2]) : 10, argc > 3 ? std::atoi(argv[3]) : 0);
        return 0;
    }
    const int seconds = argc > 1 && QByteArray(argv[1]) != "--share" ? std::atoi(argv[1]) : 10;

    PipeWireDaemons daemons;
    ScreenProducer producer(daemons, kWidth, kHeight, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    ScreenCastBackend backend(
        QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "portal backend"));
    backend.producer = &producer;
    DesktopPortal portal(daemons);
    if (!daemons.Running() || !producer.Node() || !portal.Start())
        return std::fprintf(stderr, "PipeWire, the producer or the desktop portal did not start\n"), 1;

    // The share first: run after the parts below, the plain consumer and Varnex no longer got the same
    // buffers here (they saw a new picture up to 100 ms apart, either first).
    const bool shareOnly = argc > 1 && QByteArray(argv[1]) == "--share";
    const int changes = shareOnly && argc > 2 ? std::atoi(argv[2]) : 40;
    share(daemons, producer, changes, true);
    share(daemons, producer, changes, false);
    if (shareOnly) return 0;
    receivingEnd(daemons, producer, seconds);
    cpuPerFrame("X11", "x11", seconds);
    cpuPerFrame("portal", "portal", seconds);
    RootScreen root;
    StreamScreen stream(producer);
    latency("X11", "x11", root);
    latency("portal", "portal", stream);
    return 0;
}
