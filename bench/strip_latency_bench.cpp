// AmbiLight on a strip, from the screen to the line: the program's own LightController with the X server's
// capture drives a 300-LED Adalight strip (96, 54, 96, 54 LEDs at 10 % depth), the virtual board reading the
// line at its baud rate. A full-screen window flips between black and white at random moments, each once the
// line has fallen quiet; the time from a flip (once the server has drawn it) to the board's receiving the
// first whole frame of the new colour is the latency, against one tick plus one frame's line time.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bench_strip_latency [flips] [baud...]
//
// The line is read by the board at its rate, so a frame takes its line time to arrive; the tick's phase adds
// up to one tick before the capture sees the change.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "bench/strip_board.h"
#include "light/light_controller.h"
#include "platform/x11/screen_capture_x11.h"
#include "settings/strip_settings.h"

// Last: Xlib defines names that Qt's headers use.
#include "bench/flip_window.h"

namespace {

using Clock = StripBoard::Clock;

constexpr int kLeds = 96 + 54 + 96 + 54;
constexpr int kFrameBytes = 6 + 3 * kLeds;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void measure(int baud, int flips) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("strip"));
    StripBoard board(link, baud);
    if (!board.WaitReady()) {
        std::printf("%7d baud: the board did not start\n", baud);
        return;
    }
    FlipWindow flipper;
    flipper.Paint(false);

    StripSettings settings;
    settings.layout.top = 96;
    settings.layout.right = 54;
    settings.layout.bottom = 96;
    settings.layout.left = 54;
    settings.output.kind = StripOutput::Kind::Adalight;
    settings.output.serialPort = link;
    settings.output.baud = baud;
    LightController light;
    QString failure;
    QObject::connect(&light, &LightController::Failed, [&](const QString& error) { failure = error; });
    QObject::connect(&light, &LightController::Notice, [&](const QString& notice) { failure = notice; });
    light.SetCaptureFactory([] { return std::make_unique<ScreenCaptureX11>(); });
    light.SetScreen([] { return QGuiApplication::primaryScreen()->geometry(); });
    light.SetStrip(settings);
    light.SwitchAmbiLight(QStringLiteral("0,150"));

    // Between flips the line falls quiet: a changed picture is sent at once, a still one is not sent again.
    const double lineMs = kFrameBytes * 10000.0 / baud;
    const int quietMs = int(2 * lineMs) + 60;
    std::mt19937 random{unsigned(baud)};
    std::vector<std::pair<Clock::time_point, bool>> flipped;
    QEventLoop loop;
    bool white = false;
    std::function<void()> flip = [&] {
        if (int(flipped.size()) == flips || !failure.isEmpty()) {
            QTimer::singleShot(quietMs, &loop, &QEventLoop::quit);
            return;
        }
        flipper.Paint(white = !white);
        flipped.emplace_back(Clock::now(), white);
        QTimer::singleShot(quietMs + int(random() % 40), &loop, flip);
    };
    // The warm-up: the capture's first grabs and the line's first frames.
    QTimer::singleShot(1000, &loop, flip);
    loop.exec();
    light.SwitchAmbiLight(std::nullopt);

    // Each flip's first frame of its colour after it.
    const std::vector<StripBoard::Arrival> arrivals = board.Arrivals();
    std::vector<double> latencies;
    size_t missed = 0;
    for (const auto& [at, toWhite] : flipped) {
        const int colour = toWhite ? 0xFFFFFF : 0;
        const auto first = std::find_if(arrivals.begin(), arrivals.end(), [&](const StripBoard::Arrival& a) {
            return a.at > at && a.led0 == colour;
        });
        if (first == arrivals.end())
            ++missed;
        else
            latencies.push_back(msBetween(at, first->at));
    }
    const double goalMs = LightController::TickMs + lineMs;
    const double p95 = quantile(latencies, 0.95);
    std::printf(
        "%7d baud: flip -> first changed frame median %6.1f ms, p95 %6.1f ms, max %6.1f ms; "
        "goal p95 < %.1f ms (tick %d + line %.1f): %s; "
        "%zu flips, %zu without a frame, %zu frames in all%s%s\n",
        baud, median(latencies), p95, quantile(latencies, 1.0), goalMs, LightController::TickMs, lineMs,
        !missed && p95 >= 0 && p95 < goalMs ? "met" : "missed", flipped.size(), missed, arrivals.size(),
        failure.isEmpty() ? "" : "; stopped: ", qPrintable(failure));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int flips = arguments.size() > 1 ? arguments[1].toInt() : 60;
    const std::vector<int> rates = BaudRates(arguments, 2);
    std::printf("%d LEDs, %d bytes a frame, %d flips a rate\n", kLeds, kFrameBytes, flips);
    for (const int baud : rates) measure(baud, flips);
    return 0;
}
