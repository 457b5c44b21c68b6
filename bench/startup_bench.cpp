// Start-up benchmark: starts the real program several times on the current X display and reports, as medians,
// the time from starting the executable to its main window being mapped, and its resident memory 3 s after
// start.
//
//   DISPLAY=:N build/bench/bench_startup [runs]      (default 7 runs)

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/bench_util.h"
#include "tests/support/x11_watch.h"

namespace {}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    std::vector<double> startMs, rssMb;
    for (int i = 0; i < runs; ++i) {
        X11Watch watch;
        QProcess process;
        const auto t0 = std::chrono::steady_clock::now();
        process.start(QStringLiteral(VARNEX_EXECUTABLE), {});
        const auto window = watch.waitForWindow(QStringLiteral("Varnex"), 20000, process.processId());
        if (!window) {
            std::fprintf(stderr, "run %d: no window within 20 s\n", i + 1);
            return 1;
        }
        const double ms = std::chrono::duration<double, std::milli>(window->when - t0).count();
        QThread::msleep(std::max<qint64>(0, 3000 - std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::steady_clock::now() - t0)
                                                       .count()));
        const double mb = residentMegabytes(process.processId());
        process.terminate();
        process.waitForFinished(5000);
        startMs.push_back(ms);
        rssMb.push_back(mb);
        std::printf("run %d: window after %.1f ms, resident %.1f MB at 3 s\n", i + 1, ms, mb);
    }
    std::printf("median of %d runs: window after %.1f ms, resident %.1f MB at 3 s\n", runs, median(startMs),
                median(rssMb));
    return 0;
}
