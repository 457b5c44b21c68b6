// AmbiLight's cost, on an X display of 1920 x 1080 (run under xvfb-run -s "-screen 0 1920x1080x24"):
//  1. One tick's capture and averaging of the four zones of mode "0,150": Varnex against four plain
//     references, each with its own plain averaging loop: QScreen::grabWindow per zone, XGetImage per zone,
//     one full-screen XShm grab, and XShm per zone. They take turns tick by tick, the order rotating every
//     tick. Per tick: the CPU of every thread of this process, the X server's CPU (from
//     /proc/<pid>/task/*/schedstat, in nanoseconds) and the wall time; medians with p10/p90, and the ratio of
//     each reference to Varnex. Three screens: still, the whole screen repainted before every tick, and
//     before every 4th tick; a repaint is drawn by the server before the ticks' measurement starts. Varnex
//     grabs only the zones drawn over since its last grab; the server's extra cost of reporting a repaint
//     to it is printed apart.
//  2. The whole program against a plain reference program (XShm per zone on a 10 ms QTimer, one write of
//     the same 24 bytes), each in its own process writing to a pseudo-terminal that this process reads
//     unpaced; they run in turns, the order reversed every round. Per frame: the CPU of all the process's
//     threads and the X server's; per round the program's ratio to the reference. Meanwhile a full-screen
//     window flips between black and white, and the time from each flip (once the server has drawn it) to
//     the first whole frame of the new colour on the line is the latency.
//  3. An LED strip of 300 LEDs (96 top, 54 right, 96 bottom, 54 left, 10 % deep) on the same three screens:
//     Varnex's LedColours against a reference that grabs the whole screen with XShm every tick and averages
//     each LED's area over every 4th pixel of every 4th row, and against Varnex's four-zone tick of part 1;
//     beside them the four bands' XShm grabs alone, without any averaging (what grabbing the bands whole
//     would cost). Measured as part 1, in turns; the goals' ratios are printed last. First, how far the
//     strip's means over its sample lie from the full means: on noise, and on the picture that
//     BENCH_STRIP_PICTURE names (scaled to the screen).
// Usage: bench_ambilight [ticks] [rounds] [seconds per run] [strip ticks] [--syscalls]
//   --syscalls: in each run, `strace -f -c` is attached to the child after its warm-up, and the system calls
//   per frame are printed (the CPU figures of such a run include strace's own cost).
// Internal: bench_ambilight --program LINK | --reference LINK (the children of part 2).
// BENCH_AMBILIGHT_PROGRAM=<another build of bench_ambilight>: its program is measured against the reference.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/messages.h"
#include "light/ambilight_zones.h"
#include "light/average_colour.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "light/strip_layout.h"
#include "platform/x11/screen_capture_x11.h"
#include "remote/remote_client.h"
#include "tests/support/light_controls.h"

// Last: Xlib defines macros (Bool, Status) that Qt headers must not see.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "bench/flip_window.h"

namespace {

constexpr int ModeX = 0;
constexpr int ModeY = 150;
constexpr qsizetype FrameBytes = 24;

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Every thread of this process.
double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The CPU time of every thread of another process so far, from the scheduler's own nanosecond counts.
double otherCpuMs(pid_t pid) {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly)) total += stat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return total;
}

// The X server's process, found as the peer of a connection to it (a local display).
pid_t xServerPid(Display* display) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(ConnectionNumber(display), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return 0;
    return peer.pid;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[size_t(p * double(values.size() - 1) + 0.5)];
}

QString spread(const std::vector<double>& values, int decimals = 4) {
    return QStringLiteral("%1 [%2..%3]")
        .arg(median(values), 0, 'f', decimals)
        .arg(percentile(values, 0.1), 0, 'f', decimals)
        .arg(percentile(values, 0.9), 0, 'f', decimals);
}

// The plain averaging of the references: one pass, a sum per component, rounded to nearest.
quint32 plainAverage(const uchar* data, int width, int height, qsizetype bytesPerLine) {
    if (width <= 0 || height <= 0) return 0;
    quint64 red = 0, green = 0, blue = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* p = data + y * bytesPerLine;
        for (int x = 0; x < width; ++x, p += 4) {
            blue += p[0];
            green += p[1];
            red += p[2];
        }
    }
    const quint64 n = quint64(width) * quint64(height);
    return quint32((red + n / 2) / n) | quint32((green + n / 2) / n) << 8 | quint32((blue + n / 2) / n) << 16;
}

std::array<ZoneArea, 4> benchZones(QSize screen) {
    return ZoneAreas(ModeX, ModeY, screen.width(), screen.height());
}

// A plain XShm capture of fixed rectangles, one shared image each, as a reference writes it.
class PlainShm {
public:
    PlainShm(Display* display, const std::vector<QSize>& sizes) : display_(display) {
        const int screen = DefaultScreen(display);
        for (const QSize& size : sizes) {
            Image& image = *images_.emplace_back(std::make_unique<Image>());  // the image keeps its address
            image.image =
                XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                                ZPixmap, nullptr, &image.segment, size.width(), size.height());
            image.segment.shmid =
                shmget(IPC_PRIVATE, image.image->bytes_per_line * image.image->height, IPC_CREAT | 0600);
            image.segment.shmaddr = image.image->data =
                static_cast<char*>(shmat(image.segment.shmid, nullptr, 0));
            image.segment.readOnly = False;
            XShmAttach(display, &image.segment);
            XSync(display, False);

            shmctl(image.segment.shmid, IPC_RMID, nullptr);
        }
    }
    ~PlainShm() {
        for (const auto& owned : images_) {
            Image& image = *owned;
            XShmDetach(display_, &image.segment);
            shmdt(image.segment.shmaddr);
            image.image->data = nullptr;
            XDestroyImage(image.image);
        }
    }
    XImage* grab(size_t index, int x, int y) {
        XShmGetImage(display_, DefaultRootWindow(display_), images_[index]->image, x, y, AllPlanes);
        return images_[index]->image;
    }

private:
    struct Image {
        XImage* image = nullptr;
        XShmSegmentInfo segment{};
    };
    Display* display_;
    std::vector<std::unique_ptr<Image>> images_;
};

// The flipped window, with the X server's process for its CPU figures.
class Flipper : public FlipWindow {
public:
    Flipper() : server_(xServerPid(XDisplay())) {}
    void paint(bool white) { Paint(white); }
    pid_t server() const { return server_; }

private:
    pid_t server_;
};

quint32 sink = 0;  // keeps the averages alive

struct Method {
    Method(const char* name, std::function<void()> tick) : name(name), tick(std::move(tick)) {}
    const char* name;
    std::function<void()> tick;
    std::vector<double> own, server, total, wall;
};

// The mean of every `cycle` consecutive values.
std::vector<double> cycleMeans(const std::vector<double>& values, int cycle) {
    std::vector<double> means;
    for (size_t start = 0; start + size_t(cycle) <= values.size(); start += size_t(cycle))
        means.push_back(std::accumulate(values.begin() + qsizetype(start),
                                        values.begin() + qsizetype(start) + cycle, 0.0) /
                        cycle);
    return means;
}

// How often the whole screen is repainted before a tick, in the ticks of each method.
struct ScreenCondition {
    const char* name;
    int every;  // 0: never
};
constexpr ScreenCondition Conditions[] = {
    {"still screen", 0},
    {"whole screen repainted before every tick", 1},
    {"whole screen repainted before every 4th tick (25 frames/s video)", 4},
};

// Each method's tick on the three screens, the methods taking turns tick by tick in an order rotating every
// tick; prints per screen a table of medians [p10..p90] and each method's ratio to the first. Returns each
// method's median CPU (process + X server) per screen.
std::vector<std::vector<double>> compareTicks(std::vector<Method>& methods, Flipper& flipper, bool& white,
                                              pid_t server, int ticks) {
    for (Method& method : methods)
        for (int i = 0; i < 50; ++i) method.tick();  // warm up
    std::vector<std::vector<double>> totals;
    const size_t n = methods.size();
    for (const ScreenCondition& condition : Conditions) {
        for (Method& method : methods) {
            method.own.clear();
            method.server.clear();
            method.total.clear();
            method.wall.clear();
        }
        for (int i = 0; i < ticks; ++i) {
            // Every method's tick of a round sees the screen repainted (and drawn by the server) since its
            // tick of the round before, or every method's sees it unchanged.
            if (condition.every > 0 && i % condition.every == 0) flipper.paint(white = !white);
            for (size_t k = 0; k < n; ++k) {
                Method& method = methods[(size_t(i) + k) % n];
                const double serverBefore = otherCpuMs(server);
                const double wallBefore = nowMs();
                const double before = processCpuMs();
                method.tick();
                const double own = processCpuMs() - before;
                const double wall = nowMs() - wallBefore;
                const double serverCpu = otherCpuMs(server) - serverBefore;
                method.own.push_back(own);
                method.server.push_back(serverCpu);
                method.total.push_back(own + serverCpu);
                method.wall.push_back(wall);
            }
        }

        // A method that skips unchanged zones pays for a repaint at the tick after it only: per tick is then
        // the mean over a whole cycle of ticks from one repaint to the next.
        const int cycle = std::max(condition.every, 1);
        for (Method& method : methods)
            for (auto* figures : {&method.own, &method.server, &method.total, &method.wall})
                *figures = cycleMeans(*figures, cycle);
        std::printf("\n%s: per tick, %d ticks each, ms: median [p10..p90]", condition.name, ticks);
        std::printf(cycle > 1 ? " of the mean tick of each cycle of %d ticks\n" : "\n", cycle);
        std::printf("%-44s %-28s %-28s %-28s %-28s ratio to %s (CPU total, process)\n", "method",
                    "process CPU", "X server CPU", "process + X server", "wall", methods[0].name);
        const double first = median(methods[0].total), firstOwn = median(methods[0].own);
        totals.emplace_back();
        for (const Method& method : methods) {
            std::printf("%-44s %-28s %-28s %-28s %-28s %.2fx, %.2fx\n", method.name,
                        qPrintable(spread(method.own)), qPrintable(spread(method.server)),
                        qPrintable(spread(method.total)), qPrintable(spread(method.wall)),
                        median(method.total) / first, median(method.own) / firstOwn);
            totals.back().push_back(median(method.total));
        }
        std::fflush(stdout);
    }
    std::printf("\n");
    return totals;
}

void tickCosts(int ticks) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const auto areas = benchZones(screen);
    const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(nullptr), XCloseDisplay);
    Display* display = connection.get();  // closed last, after the images on it
    const pid_t server = xServerPid(display);
    Flipper flipper;
    bool white = false;
    std::optional<ScreenCaptureX11> varnex;
    const QRect all(QPoint(), screen);
    const auto varnexTick = [&] {
        varnex->Prepare(all, areas);
        for (size_t i = 0; i < areas.size(); ++i) sink += varnex->ZoneColour(int(i), all, areas[i]);
    };
    // The X server's CPU for one repaint, alone and while Varnex's capture watches the screen; then a tick of
    // the capture between repaints re-arms it, so that every repaint is reported to it.
    const auto repaintCost = [&] {
        std::vector<double> costs;
        for (int i = 0; i < 200; ++i) {
            if (varnex) varnexTick();
            const double before = otherCpuMs(server);
            flipper.paint(white = !white);
            costs.push_back(otherCpuMs(server) - before);
        }
        return median(costs);
    };
    const double repaintAlone = repaintCost();
    varnex.emplace();
    const double repaintWatched = repaintCost();
    PlainShm perZone(display, std::vector<QSize>(4, QSize(ZoneWidth, ZoneHeight)));
    PlainShm whole(display, {screen});
    const Window root = DefaultRootWindow(display);

    std::vector<Method> methods;
    methods.push_back({"Varnex (XShm per zone, its averaging)", varnexTick});
    methods.push_back({"QScreen::grabWindow per zone", [&] {
                           for (const ZoneArea& area : areas) {
                               const QImage image =
                                   QGuiApplication::primaryScreen()
                                       ->grabWindow(0, int(area.left), int(area.top), ZoneWidth, ZoneHeight)
                                       .toImage()
                                       .convertToFormat(QImage::Format_RGB32);
                               sink += plainAverage(image.constBits(), image.width(), image.height(),
                                                    image.bytesPerLine());
                           }
                       }});
    methods.push_back({"XGetImage per zone", [&] {
                           for (const ZoneArea& area : areas) {
                               XImage* image = XGetImage(display, root, int(area.left), int(area.top),
                                                         ZoneWidth, ZoneHeight, AllPlanes, ZPixmap);
                               sink += plainAverage(reinterpret_cast<uchar*>(image->data), image->width,
                                                    image->height, image->bytes_per_line);
                               XDestroyImage(image);
                           }
                       }});
    methods.push_back({"one full-screen XShm grab", [&] {
                           const XImage* image = whole.grab(0, 0, 0);
                           for (const ZoneArea& area : areas)
                               sink += plainAverage(reinterpret_cast<uchar*>(image->data) +
                                                        area.top * image->bytes_per_line + area.left * 4,
                                                    ZoneWidth, ZoneHeight, image->bytes_per_line);
                       }});
    methods.push_back({"XShm per zone", [&] {
                           for (size_t i = 0; i < areas.size(); ++i) {
                               const XImage* image = perZone.grab(i, int(areas[i].left), int(areas[i].top));
                               sink += plainAverage(reinterpret_cast<uchar*>(image->data), image->width,
                                                    image->height, image->bytes_per_line);
                           }
                       }});

    std::printf(
        "X server CPU of one full-screen repaint, median: %.4f ms, %.4f ms while Varnex's capture "
        "watches the screen\n",
        repaintAlone, repaintWatched);
    compareTicks(methods, flipper, white, server, ticks);
}

// --- part 3: an LED strip ------------------------------------------------------------------------------

// The reference's mean of an area: every 4th pixel of every 4th row, from its top left pixel, rounded to
// nearest.
quint32 decimatedAverage(const XImage* image, const QRect& area) {
    quint64 red = 0, green = 0, blue = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); y += 4) {
        const uchar* p =
            reinterpret_cast<const uchar*>(image->data) + y * image->bytes_per_line + area.left() * 4;
        for (int x = area.left(); x <= area.right(); x += 4, p += 16, ++n) {
            blue += p[0];
            green += p[1];
            red += p[2];
        }
    }
    if (n == 0) return 0;
    return quint32((red + n / 2) / n) | quint32((green + n / 2) / n) << 8 | quint32((blue + n / 2) / n) << 16;
}

// A full-screen window on top showing `picture` (scaled to the screen), drawn once this returns.
Window showPicture(Display* display, const QImage& picture, QSize screen) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, unsigned(screen.width()),
                                        unsigned(screen.height()), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    QImage pixels = picture.scaled(screen).convertToFormat(QImage::Format_RGB32);
    XImage* image = XCreateImage(display, DefaultVisual(display, 0), 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels.bits()), unsigned(screen.width()),
                                 unsigned(screen.height()), 32, int(pixels.bytesPerLine()));
    XPutImage(display, window, DefaultGC(display, 0), image, 0, 0, 0, 0, unsigned(screen.width()),
              unsigned(screen.height()));
    image->data = nullptr;  // the QImage's
    XDestroyImage(image);
    XSync(display, False);
    return window;
}

// How far the strip's means (over its sample) lie from the means over every pixel of each LED's area, per
// colour component, on `picture` shown full-screen.
void sampleError(Display* display, ScreenCaptureX11& strip, PlainShm& whole, const std::vector<QRect>& leds,
                 const QImage& picture, const QString& name) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const Window window = showPicture(display, picture, screen);
    const std::vector<quint32> sampled = strip.LedColours(QRect(QPoint(), screen), leds);
    const XImage* image = whole.grab(0, 0, 0);
    const std::vector<quint32> full = AreaColours(
        {reinterpret_cast<const uchar*>(image->data), image->width, image->height, image->bytes_per_line}, {},
        leds);
    int worst = 0;
    double total = 0;
    std::vector<double> errors;
    for (size_t i = 0; i < leds.size(); ++i)
        for (int shift : {0, 8, 16}) {
            const int error = std::abs(int((sampled[i] >> shift) & 0xFF) - int((full[i] >> shift) & 0xFF));
            worst = std::max(worst, error);
            total += error;
            errors.push_back(error);
        }
    std::printf("The sample's means against the full means on %s: mean %.2f, p99 %.0f, worst %d of 255\n",
                qPrintable(name), total / double(errors.size()), percentile(errors, 0.99), worst);
    XDestroyWindow(display, window);
    XSync(display, False);
}

void stripCosts(int ticks) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QRect all(QPoint(), screen);
    const std::vector<QRect> leds = LedAreas(StripLayout{96, 54, 96, 54}, screen);
    const auto zones = benchZones(screen);
    const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(nullptr), XCloseDisplay);
    Display* display = connection.get();
    const pid_t server = xServerPid(display);
    Flipper flipper;
    bool white = false;
    ScreenCaptureX11 strip;
    ScreenCaptureX11 board;
    PlainShm whole(display, {screen});
    // The bands as LedAreas lays them: the top and bottom ones the full width, the sides between them.
    const int deep = screen.height() / 10, wide = screen.width() / 10;
    const std::array<QRect, 4> bands{QRect(0, 0, screen.width(), deep),
                                     QRect(0, screen.height() - deep, screen.width(), deep),
                                     QRect(0, deep, wide, screen.height() - 2 * deep),
                                     QRect(screen.width() - wide, deep, wide, screen.height() - 2 * deep)};
    std::vector<QSize> bandSizes;
    for (const QRect& band : bands) bandSizes.push_back(band.size());
    PlainShm bandShm(display, bandSizes);

    std::vector<Method> methods;
    methods.push_back({"Varnex LedColours, 300 LEDs", [&] {
                           for (quint32 colour : strip.LedColours(all, leds)) sink += colour;
                       }});
    methods.push_back({"full-screen XShm, 4x decimated averaging", [&] {
                           const XImage* image = whole.grab(0, 0, 0);
                           for (const QRect& area : leds) sink += decimatedAverage(image, area);
                       }});
    methods.push_back({"Varnex four-zone tick (mode 0,150)", [&] {
                           board.Prepare(all, zones);
                           for (size_t i = 0; i < zones.size(); ++i)
                               sink += board.ZoneColour(int(i), all, zones[i]);
                       }});
    methods.push_back({"the four bands' XShm grabs alone", [&] {
                           for (size_t i = 0; i < bands.size(); ++i)
                               sink += quint32(bandShm.grab(i, bands[i].x(), bands[i].y())->data[0]);
                       }});

    // The sample's error: on noise (each pixel at random, the worst case) and on a picture, if one is named.
    QImage noise(screen, QImage::Format_RGB32);
    std::mt19937 random(1);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, random() & 0xFFFFFF);
    sampleError(display, strip, whole, leds, noise, QStringLiteral("noise"));
    if (const QString path = qEnvironmentVariable("BENCH_STRIP_PICTURE"); !path.isEmpty())
        sampleError(display, strip, whole, leds, QImage(path), path);
    std::printf("An LED strip of %zu LEDs at depth 10 %% on %dx%d\n", leds.size(), screen.width(),
                screen.height());
    const qint64 grabsBefore = strip.BandGrabs();
    const std::vector<std::vector<double>> totals = compareTicks(methods, flipper, white, server, ticks);
    std::printf("Bands grabbed by LedColours: %.2f per tick\n",
                double(strip.BandGrabs() - grabsBefore) / double(ticks * 3 + 50));
    std::printf("Goals, CPU (process + X server) per tick, medians:\n");
    for (size_t c = 0; c < totals.size(); ++c)
        std::printf("  %-66s reference / strip %.2fx (goal >= 3), strip / four-zone %.2fx%s\n",
                    Conditions[c].name, totals[c][1] / totals[c][0], totals[c][0] / totals[c][2],
                    Conditions[c].every == 1 ? "" : " (goal <= 1.5)");
    std::printf("\n");
}

// --- part 2: the children --------------------------------------------------------------------------------

int runProgram(const QString& link) {
    App::Prepare();
    messages::Recorder recorder;
    QTemporaryDir dir;
    App app(dir.path());
    const LightControlsOf form(*app.Form1);
    app.Light().OpenPort(link);
    form.ComboBox1->setCurrentIndex(form.ComboBox1->findText(QStringLiteral("%1,%2").arg(ModeX).arg(ModeY)));
    emit app.Remote().Action(RemoteAction::AmbiLight);  // as the remote's key starts it
    QTimer watch;  // an error shown ends the run: the parent sees the line fall silent
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!recorder.shown().empty()) qApp->exit(1);
    });
    watch.start(200);
    return qApp->exec();
}

int runReference(const QString& link) {
    const int fd = ::open(QFile::encodeName(link).constData(), O_WRONLY | O_NOCTTY);
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    tcsetattr(fd, TCSANOW, &settings);
    Display* display = XOpenDisplay(nullptr);
    const auto areas = benchZones(QGuiApplication::primaryScreen()->geometry().size());
    PlainShm capture(display, std::vector<QSize>(4, QSize(ZoneWidth, ZoneHeight)));
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QByteArray frame;
        for (size_t i = 0; i < areas.size(); ++i) {
            const XImage* image = capture.grab(i, int(areas[i].left), int(areas[i].top));
            frame +=
                ZoneCommand(areas[i].zone, plainAverage(reinterpret_cast<uchar*>(image->data), image->width,
                                                        image->height, image->bytes_per_line));
        }
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size()) qApp->exit(1);
    });
    timer.start(10);
    return qApp->exec();
}

// --- part 2: the parent ----------------------------------------------------------------------------------

QByteArray solidFrame(bool white) {
    QByteArray frame;
    for (const ZoneArea& area : benchZones(QGuiApplication::primaryScreen()->geometry().size()))
        frame += ZoneCommand(area.zone, white ? 0x00FFFFFF : 0);
    return frame;
}

struct RunFigures {
    double cpuPerFrame = 0, serverPerFrame = 0, framesPerSecond = 0;
    long long syscalls = -1;
    std::vector<double> latency;
};

long long straceTotal(const QString& file) {
    QFile summary(file);
    if (!summary.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = summary.readAll();
    std::fprintf(stderr, "%s", text.constData());  // the calls by name, for the curious
    for (const QByteArray& line : text.split('\n'))
        if (line.contains(" total")) return line.simplified().split(' ').value(3).toLongLong();
    return -1;
}

RunFigures runChild(Flipper& flipper, const char* mode, int seconds, bool syscalls) {
    RunFigures figures;
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return figures;
    const QString link = QString::fromLocal8Bit(ptsname(master));
    fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    // BENCH_AMBILIGHT_PROGRAM names another build of this bench whose program runs instead (an older one,
    // for a before and after in one run).
    const QString other = qEnvironmentVariable("BENCH_AMBILIGHT_PROGRAM");
    const QString executable =
        qstrcmp(mode, "--program") == 0 && !other.isEmpty() ? other : QCoreApplication::applicationFilePath();
    child.start(executable, {QString::fromLatin1(mode), link});
    child.waitForStarted();
    const pid_t pid = pid_t(child.processId());

    qint64 received = 0;
    QByteArray since;  // what arrived since the last flip
    char buffer[4096];
    const auto readFor = [&](double ms, const std::function<void()>& onData) {
        const double end = nowMs() + ms;
        for (double left; (left = end - nowMs()) > 0;) {
            pollfd wait{master, POLLIN, 0};
            if (poll(&wait, 1, int(left) + 1) <= 0) continue;
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) {
                received += n;
                since.append(buffer, n);
                if (onData) onData();
            }
        }
    };
    flipper.paint(false);
    readFor(1500, {});  // start and warm up
    QProcess strace;
    const qint64 bytesTraced = received;
    const QString straceFile = QDir::temp().filePath(QStringLiteral("bench_ambilight_strace_%1").arg(pid));
    if (syscalls) {
        strace.start(QStringLiteral("strace"), {"-f", "-c", "-o", straceFile, "-p", QString::number(pid)});
        readFor(500, {});
    }

    const double cpuBefore = otherCpuMs(pid), serverBefore = otherCpuMs(flipper.server());
    const qint64 bytesBefore = received;
    std::mt19937 random{unsigned(pid)};
    bool white = false;
    const double end = nowMs() + seconds * 1000.0;
    while (nowMs() < end) {
        readFor(60 + random() % 60, {});
        white = !white;
        flipper.paint(white);
        const double flipped = nowMs();
        const QByteArray target = solidFrame(white);
        since.clear();
        bool seen = false;
        readFor(100, [&] {
            if (!seen && since.contains(target)) {
                seen = true;
                figures.latency.push_back(nowMs() - flipped);
            }
        });
    }
    const double cpu = otherCpuMs(pid) - cpuBefore, serverCpu = otherCpuMs(flipper.server()) - serverBefore;
    const double frames = double(received - bytesBefore) / FrameBytes;
    if (syscalls) {
        ::kill(pid_t(strace.processId()), SIGINT);
        strace.waitForFinished(5000);
        const double tracedFrames = double(received - bytesTraced) / FrameBytes;
        const long long calls = straceTotal(straceFile);
        figures.syscalls = calls >= 0 && tracedFrames > 0 ? qint64(calls / tracedFrames + 0.5) : -1;
        QFile::remove(straceFile);
    }
    child.terminate();
    child.waitForFinished(5000);
    ::close(master);
    ::close(slave);
    if (frames > 0) {
        figures.cpuPerFrame = cpu / frames;
        figures.serverPerFrame = serverCpu / frames;
    }
    figures.framesPerSecond = frames / seconds;
    return figures;
}

void wholeProgram(int rounds, int seconds, bool syscalls) {
    Flipper flipper;
    struct Side {
        const char* mode;
        const char* name;
        std::vector<double> cpu, server, fps, latency, syscalls;
    };
    std::array<Side, 2> sides{Side{"--program", "Varnex program", {}, {}, {}, {}, {}},
                              Side{"--reference", "reference (XShm per zone)", {}, {}, {}, {}, {}}};
    std::vector<double> ratio;
    for (int round = 0; round < rounds; ++round) {
        std::array<RunFigures, 2> figures;
        for (int k = 0; k < 2; ++k) {
            const int which = round % 2 ? 1 - k : k;
            figures[size_t(which)] = runChild(flipper, sides[size_t(which)].mode, seconds, syscalls);
        }
        for (size_t i = 0; i < 2; ++i) {
            Side& side = sides[i];
            side.cpu.push_back(figures[i].cpuPerFrame);
            side.server.push_back(figures[i].serverPerFrame);
            side.fps.push_back(figures[i].framesPerSecond);
            side.latency.insert(side.latency.end(), figures[i].latency.begin(), figures[i].latency.end());
            if (figures[i].syscalls >= 0) side.syscalls.push_back(double(figures[i].syscalls));
        }
        ratio.push_back(figures[0].cpuPerFrame / figures[1].cpuPerFrame);
        std::printf(
            "round %d: program %.4f ms/frame (%.1f frames/s), reference %.4f ms/frame (%.1f frames/s), "
            "ratio %.3f\n",
            round + 1, figures[0].cpuPerFrame, figures[0].framesPerSecond, figures[1].cpuPerFrame,
            figures[1].framesPerSecond, ratio.back());
        std::fflush(stdout);
    }
    std::printf("\nWhole program, %d rounds of %d s each, median [p10..p90]:\n", rounds, seconds);
    for (const Side& side : sides) {
        std::printf("%-28s process CPU/frame %s ms, X server CPU/frame %s ms, %s frames/s", side.name,
                    qPrintable(spread(side.cpu)), qPrintable(spread(side.server)),
                    qPrintable(spread(side.fps, 1)));
        if (!side.syscalls.empty()) std::printf(", system calls/frame %.0f", median(side.syscalls));
        std::printf("\n%-28s latency to the first changed frame: median %.2f ms, p95 %.2f ms (%zu flips)\n",
                    "", median(side.latency), percentile(side.latency, 0.95), side.latency.size());
    }
    std::printf("Program / reference CPU per frame, per round: %s\n", qPrintable(spread(ratio, 3)));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--program")) return runProgram(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--reference")) return runReference(args[2]);
    const bool syscalls = args.contains(QStringLiteral("--syscalls"));
    QStringList numbers = args.mid(1);
    numbers.removeAll(QStringLiteral("--syscalls"));
    const int ticks = numbers.value(0, QStringLiteral("2000")).toInt();
    const int rounds = numbers.value(1, QStringLiteral("10")).toInt();
    const int seconds = numbers.value(2, QStringLiteral("4")).toInt();
    const int stripTicks = numbers.value(3, QString::number(ticks)).toInt();
    if (ticks > 0) tickCosts(ticks);
    if (stripTicks > 0) stripCosts(stripTicks);
    if (rounds > 0) wholeProgram(rounds, seconds, syscalls);
    return sink == 1 ? 1 : 0;
}
