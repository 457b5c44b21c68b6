// AmbiLight through the desktop portal's screen cast against the X server's capture, on the same 1920 x 1080
// screen with mode "0,0" (a real PipeWire daemon and WirePlumber, a producer streaming 1920 x 1080 frames at
// 40 a second, the real xdg-desktop-portal with the tests' stand-in backend on the private session bus):
//  1. the receiving end alone, keeping the newest frame of the stream: this process's CPU per second and per
//     frame, the adapter's PipeWire stream against GStreamer's pipewiresrc into a fakesink that does the
//     same;
//  2. whole-process CPU per AmbiLight frame against the virtual board paced to 960 bytes a second (the line's
//     40 frames a second), X11 against portal;
//  3. the latency from a repaint of the screen to the first frame on the line that shows it (a
//  pseudo-terminal
//     read as fast as it fills, the tick every 10 ms), median and 95th percentile over 50 repaints.
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" dbus-run-session
//          --config-file=tests/support/session_bus.conf -- bench_ambilight_portal [seconds]

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "platform/wayland/pipewire_screen_stream.h"
#include "remote/remote_client.h"
#include "tests/support/light_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/screen_cast_stand_in.h"

#include <gst/gst.h>

// Last: Xlib defines macros (Bool, Status) that Qt headers must not see.
#include <X11/Xlib.h>

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

// A new connection to the daemon's socket, as the portal hands one out (-1 on failure).
int connectRemote(const PipeWireDaemons& daemons) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QString path = daemons.Environment().value(QStringLiteral("XDG_RUNTIME_DIR")) + "/pipewire-0";
    qstrncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

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
        PipeWireScreenStream stream(connectRemote(daemons), producer.Node());
        measure("PipeWire stream, newest frame kept", [&] { return qint64(stream.FramesReceived()); });
    }
    gst_init(nullptr, nullptr);
    const QByteArray description = QStringLiteral(
                                       "pipewiresrc fd=%1 path=%2 ! fakesink name=sink sync=false "
                                       "signal-handoffs=true")
                                       .arg(connectRemote(daemons))
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
                {QStringLiteral("--link"), link, QStringLiteral("--pace")});
    if (!board.waitForReadyRead(10000))
        return (void)std::fprintf(stderr, "the virtual board did not start\n");

    Program program(capture, link);
    qint64 ticks = 0;
    QObject::connect(program.app.Light().findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout,
                     [&] { ++ticks; });
    emit program.app.Remote().Action(RemoteAction::AmbiLight);
    const auto ticksIn = [&](int ms) {
        const qint64 start = ticks;
        wait(ms);
        return ticks - start;
    };
    // Paced once the pseudo-terminal's buffer is full: a second with no more ticks than the line allows.
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

}  // namespace

int main(int argc, char** argv) {
    FindModulesInBuildFolder();
    QApplication application(argc, argv);
    App::Prepare();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    PipeWireDaemons daemons;
    ScreenProducer producer(daemons, kWidth, kHeight, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    ScreenCastBackend backend(
        QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "portal backend"));
    backend.producer = &producer;
    DesktopPortal portal(daemons);
    if (!daemons.Running() || !producer.Node() || !portal.Start())
        return std::fprintf(stderr, "PipeWire, the producer or the desktop portal did not start\n"), 1;

    receivingEnd(daemons, producer, seconds);
    cpuPerFrame("X11", "x11", seconds);
    cpuPerFrame("portal", "portal", seconds);
    RootScreen root;
    StreamScreen stream(producer);
    latency("X11", "x11", root);
    latency("portal", "portal", stream);
    return 0;
}
