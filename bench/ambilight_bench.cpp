// AmbiLight's cost, on an X display of 1920 x 1080 (run under xvfb-run -s "-screen 0 1920x1080x24"):
//  1. the median CPU time (this thread) and wall time of one tick's capture and averaging of the four zones
//  of
//     mode "0,150", against (a) the same four rectangles through QScreen::grabWindow and (b) one full-screen
//     shared-memory grab averaged over the same four rectangles, the three taking turns tick by tick, with
//     the X server's CPU time per tick beside them (the copying is the server's work);
//  2. the frame rate of a running AmbiLight against the virtual board (its own process) paced to 960 bytes a
//     second (the line's limit is 40 frames a second), and the whole program process's CPU time per frame.
// Usage: bench_ambilight [ticks] [seconds]

#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "bench/bench_util.h"
#include "light/ambilight_zones.h"
#include "light/average_colour.h"
#include "light/serial_link.h"
#include "platform/x11/screen_capture_x11.h"

// Last: Xlib defines macros (Bool, Status) that Qt headers must not see.
#include <X11/Xlib.h>

namespace {

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The X server's process, found as the peer of a connection to it (a local display).
pid_t xServerPid() {
    Display* display = XOpenDisplay(nullptr);
    ucred peer{};
    socklen_t size = sizeof peer;
    if (!display || getsockopt(ConnectionNumber(display), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        peer.pid = 0;
    if (display) XCloseDisplay(display);
    return peer.pid;
}

// CPU time of another process so far (user + system), from /proc, in milliseconds (10 ms resolution).
double otherCpuMs(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid == 0 || !stat.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) * 1000.0 / sysconf(_SC_CLK_TCK);
}

quint32 sink = 0;  // keeps the averages alive

struct Method {
    Method(const char* name, std::function<void()> tick) : name(name), tick(std::move(tick)) {}
    const char* name;
    std::function<void()> tick;
    std::vector<double> cpu, wall;
    double ownTotal = 0, serverTotal = 0;
};

// The methods take turns tick by tick, so that whatever else the machine does weighs on all of them alike.
void measure(std::vector<Method>& methods, int ticks) {
    for (Method& method : methods)
        for (int i = 0; i < 50; ++i) method.tick();  // warm up
    static const pid_t server = xServerPid();
    for (int i = 0; i < ticks; ++i) {
        for (Method& method : methods) {
            const double serverBefore = otherCpuMs(server);
            QElapsedTimer clock;
            clock.start();
            const double before = threadCpuMs();
            method.tick();
            const double cpu = threadCpuMs() - before;
            method.wall.push_back(clock.nsecsElapsed() / 1e6);
            method.cpu.push_back(cpu);
            method.ownTotal += cpu;
            method.serverTotal += otherCpuMs(server) - serverBefore;
        }
    }
    for (const Method& method : methods)
        std::printf(
            "%-46s median CPU %.4f ms, median wall %.4f ms; mean CPU %.4f ms + X server %.4f ms per tick\n",
            method.name, median(method.cpu), median(method.wall), method.ownTotal / ticks,
            method.serverTotal / ticks);
}

void tickCosts(int ticks) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto areas = ZoneAreas(0, 150, screen.width(), screen.height());
    ScreenCaptureX11 capture;
    ScreenCaptureX11 whole;

    std::vector<Method> methods;
    methods.push_back({"Varnex: XShm per zone, vectorised averaging", [&] {
                           for (size_t i = 0; i < areas.size(); ++i)
                               sink += AverageColour(
                                   capture.Grab(int(i), areas[i].left, areas[i].top, ZoneWidth, ZoneHeight));
                       }});
    methods.push_back({"(a) QScreen::grabWindow per zone", [&] {
                           for (const ZoneArea& area : areas) {
                               const QImage image =
                                   QGuiApplication::primaryScreen()
                                       ->grabWindow(0, int(area.left), int(area.top), ZoneWidth, ZoneHeight)
                                       .toImage()
                                       .convertToFormat(QImage::Format_RGB32);
                               sink += AverageColour(
                                   {image.constBits(), image.width(), image.height(), image.bytesPerLine()});
                           }
                       }});
    methods.push_back({"(b) one full-screen XShm grab, four averages", [&] {
                           const PixelBlock all = whole.Grab(0, 0, 0, screen.width(), screen.height());
                           for (const ZoneArea& area : areas)
                               sink += AverageColour({all.data + area.top * all.bytesPerLine + area.left * 4,
                                                      ZoneWidth, ZoneHeight, all.bytesPerLine});
                       }});
    measure(methods, ticks);
}

void frameRate(const QString& board, int seconds) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("board"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(board, {QStringLiteral("--link"), link, QStringLiteral("--pace")});
    if (!process.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_ambilight: the virtual board did not start\n");
        return;
    }

    messages::Recorder recorder;
    App app(dir.path());
    TForm1& form = *app.Form1;
    form.ComPort->Port = link;
    form.ComPort->SetConnected(true);
    form.EnabledBtn(true);
    qint64 ticks = 0;
    QObject::connect(form.Timer1, &QTimer::timeout, [&] { ++ticks; });
    form.SpeedButton1Click();

    // Until the pseudo-terminal's buffer is full the program runs ahead of the board; from then on the
    // line's pace holds it back. Paced: a second with no more ticks than the line allows, plus a few.
    auto ticksIn = [&](int ms) {
        const qint64 start = ticks;
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;  // as the program's own loop runs: waiting, not polling
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        return std::pair(ticks - start, clock.elapsed());
    };
    for (int i = 0; i < 120 && ticksIn(1000).first > 45; ++i) {
    }
    const double cpuBefore = processCpuMs();
    const auto [frames, ms] = ticksIn(seconds * 1000);
    const double cpu = processCpuMs() - cpuBefore;
    form.SpeedButton1Click();
    std::printf(
        "AmbiLight against the paced board: %.1f frames/s over %lld ms (limit 40); process CPU %.3f ms "
        "per frame (%.1f %% of one core); errors shown: %lld\n",
        frames * 1000.0 / ms, qlonglong(ms), cpu / frames, 100.0 * cpu / ms,
        qlonglong(recorder.shown().size()));
    process.terminate();
    process.waitForFinished(5000);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    App::Prepare();
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    tickCosts(ticks);
    frameRate(QStringLiteral(VARNEX_BOARD_EXECUTABLE), seconds);
    return sink == 1 ? 1 : 0;
}
