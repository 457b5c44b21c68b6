// Start-up against a bare Qt window. The program and the reference (bench_startup_reference: a bare
// QMainWindow with a three-item menu bar and the main window's flags, place and size) are started in turns on
// the current X display, the order reversed each round, so that load on the machine weighs on both alike. For
// each start: the time from exec to the main window being mapped, from exec to its first paint reaching the
// X server (the first damage inside the mapped window, through XDamage on the root window), the CPU time all
// its threads used until then (from /proc/<pid>/task/*/schedstat, which a busy machine does not stretch the
// way it stretches the wall time), and the resident memory 3 s after exec. Prints the medians, the median of
// the per-round ratios with their spread, and the ratio of the memory medians.
//
//   DISPLAY=:N build-bench/bench/bench_startup [rounds] [program]
//
// Built in a Release build with -DVARNEX_BENCH=ON. Default 25 rounds of this build's varnex; `program` is
// another executable to measure instead (a build before a change). Run on a display of its own with a session
// bus, as on a desktop (without one, Qt's first D-Bus use makes libdbus launch a bus daemon, a cost that is
// neither program's own):
//   dbus-run-session -- xvfb-run -a -s "-screen 0 1920x1080x24" nice -n -5 build-bench/bench/bench_startup

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRect>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "tests/support/x11_watch.h"

// Xlib's macros clash with Qt's names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Start {
    double mappedMs = 0;    // exec to the main window mapped
    double paintedMs = 0;   // exec to its first paint on the server
    double cpuMs = 0;       // CPU time of all its threads until the first paint was seen
    double residentMb = 0;  // 3 s after exec
};

// The CPU time all threads of process `pid` have used so far, in ms.
double cpuMilliseconds(pid_t pid) {
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    double ns = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly)) ns += schedstat.readAll().split(' ').first().toDouble();
    }
    return ns / 1e6;
}

// Listens on the root window for windows being mapped and for every rectangle drawn anywhere on the screen.
class ScreenWatch {
public:
    ScreenWatch() : display_(XOpenDisplay(nullptr)) {
        if (!display_) throw std::runtime_error("no X display: run under xvfb-run");
        int error = 0;
        if (!XDamageQueryExtension(display_, &damageEvent_, &error))
            throw std::runtime_error("the X server has no DAMAGE extension");
        root_ = DefaultRootWindow(display_);
        XSelectInput(display_, root_, SubstructureNotifyMask);
        damage_ = XDamageCreate(display_, root_, XDamageReportRawRectangles);
        XSync(display_, False);
    }
    ~ScreenWatch() {
        XDamageDestroy(display_, damage_);
        XCloseDisplay(display_);
    }
    ScreenWatch(const ScreenWatch&) = delete;
    ScreenWatch& operator=(const ScreenWatch&) = delete;

    // Forgets what happened before a start.
    void Drain() {
        XSync(display_, False);
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }

    // Waits up to `waitMs` for process `pid` to map a top-level window and paint into it; the times at which
    // the two were seen, or nothing.
    std::optional<std::pair<Clock::time_point, Clock::time_point>> WaitForPaint(pid_t pid, int waitMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        std::optional<Clock::time_point> mapped;
        QRect window;
        while (Clock::now() < deadline) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                const Clock::time_point seen = Clock::now();
                if (event.type == MapNotify && !event.xmap.override_redirect && !mapped &&
                    WindowPid(display_, event.xmap.window) == pid) {
                    XWindowAttributes attributes;
                    if (!XGetWindowAttributes(display_, event.xmap.window, &attributes)) continue;
                    window = QRect(attributes.x, attributes.y, attributes.width, attributes.height);
                    mapped = seen;
                } else if (event.type == damageEvent_ + XDamageNotify && mapped) {
                    const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
                    const QRect area(damage.area.x, damage.area.y, damage.area.width, damage.area.height);
                    if (area.intersects(window)) return std::make_pair(*mapped, seen);
                }
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, 20);
        }
        return std::nullopt;
    }

private:
    Display* display_;
    Window root_ = 0;
    int damageEvent_ = 0;
    Damage damage_ = 0;
};

// Starts `program`, times its window and paint, reads its memory at 3 s and ends it.
std::optional<Start> measure(ScreenWatch& watch, const char* program) {
    watch.Drain();
    char* argv[] = {const_cast<char*>(program), nullptr};
    const Clock::time_point exec = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) return std::nullopt;
    const auto shown = watch.WaitForPaint(pid, 20000);
    std::optional<Start> start;
    if (shown) {
        const double cpu = cpuMilliseconds(pid);
        std::this_thread::sleep_until(exec + std::chrono::seconds(3));
        start = Start{msSince(exec, shown->first), msSince(exec, shown->second), cpu, residentMegabytes(pid)};
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // Let the server forget the window before the next start.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return start;
}

struct Figures {
    std::vector<double> mapped, painted, cpu, resident;
    void add(const Start& s) {
        mapped.push_back(s.mappedMs);
        painted.push_back(s.paintedMs);
        cpu.push_back(s.cpuMs);
        resident.push_back(s.residentMb);
    }
};

void printRatios(const char* what, const std::vector<double>& ratios) {
    std::printf("%-22s median %.2fx   p25-p75 %.2f-%.2fx   min-max %.2f-%.2fx\n", what, median(ratios),
                quantile(ratios, 0.25), quantile(ratios, 0.75), quantile(ratios, 0), quantile(ratios, 1));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    const std::string program = argc > 2 ? argv[2] : VARNEX_EXECUTABLE;
    const char* reference = VARNEX_REFERENCE_EXECUTABLE;
    ScreenWatch watch;

    Figures ours, bare;
    std::vector<double> paintRatios, mapRatios, cpuRatios;
    for (int round = 0; round < rounds; ++round) {
        const bool referenceFirst = round % 2 == 1;
        std::optional<Start> a = measure(watch, referenceFirst ? reference : program.c_str());
        std::optional<Start> b = measure(watch, referenceFirst ? program.c_str() : reference);
        if (referenceFirst) std::swap(a, b);
        if (!a || !b) {
            std::fprintf(stderr, "round %d: no window painted within 20 s\n", round + 1);
            return 1;
        }
        ours.add(*a);
        bare.add(*b);
        paintRatios.push_back(a->paintedMs / b->paintedMs);
        mapRatios.push_back(a->mappedMs / b->mappedMs);
        cpuRatios.push_back(a->cpuMs / b->cpuMs);
        std::printf(
            "round %2d (%s first): mapped %6.1f / %6.1f ms, painted %6.1f / %6.1f ms (%.2fx), "
            "CPU %5.1f / %5.1f ms, resident %.1f / %.1f MB\n",
            round + 1, referenceFirst ? "bare" : "ours", a->mappedMs, b->mappedMs, a->paintedMs, b->paintedMs,
            paintRatios.back(), a->cpuMs, b->cpuMs, a->residentMb, b->residentMb);
    }
    std::printf("\n%s against the bare window, %d rounds (medians):\n", program.c_str(), rounds);
    std::printf("exec to mapped:        %.1f ms against %.1f ms\n", median(ours.mapped), median(bare.mapped));
    std::printf("exec to first paint:   %.1f ms against %.1f ms\n", median(ours.painted),
                median(bare.painted));
    printRatios("ratio to mapped:", mapRatios);
    printRatios("ratio to first paint:", paintRatios);
    std::printf("CPU to first paint:    %.1f ms against %.1f ms\n", median(ours.cpu), median(bare.cpu));
    printRatios("ratio of CPU:", cpuRatios);
    std::printf("resident at 3 s:       %.1f MB against %.1f MB (%.2fx)\n", median(ours.resident),
                median(bare.resident), median(ours.resident) / median(bare.resident));
    return 0;
}
