// The strip's Adalight line: the program's own StripSender and serial sink writing a 300-LED strip into the
// virtual board paced at 115200, 500000 and 1000000 baud, frames offered at AmbiLight's 100 a second. Per
// rate: the frames a second the board received whole against what the line carries, and the latency from a
// frame's Send to the board printing it (median, p95) against one tick plus one frame's line time.
//
//   bench_strip_line [seconds] [baud...]
//
// Every frame carries its number as LED 0's colour, so the board's printed line tells which frame arrived.
// The board runs as a child process (Qt's offscreen platform, no display needed) and prints each frame; a
// thread here reads its output and stamps each line as it comes.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/strip_board.h"
#include "light/strip_protocol.h"
#include "light/strip_sender.h"
#include "light/strip_sinks.h"

namespace {

using Clock = StripBoard::Clock;

constexpr int kLeds = 300;
constexpr int kFrameBytes = 6 + 3 * kLeds;
constexpr auto kTick = std::chrono::milliseconds(10);
constexpr double kWarmUpSeconds = 1.5;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Frame `id`: LED 0 is the number itself, every other LED a colour that changes with it.
QList<QByteArray> frameOf(int id) {
    QByteArray leds(3 * kLeds, Qt::Uninitialized);
    for (int i = 0; i < kLeds; ++i) {
        leds[3 * i] = char(id * 7 + i);
        leds[3 * i + 1] = char(id * 3);
        leds[3 * i + 2] = char(i);
    }
    leds[0] = char(id >> 16);
    leds[1] = char(id >> 8);
    leds[2] = char(id);
    return {AdalightFrame(leds)};
}

void measure(int baud, double seconds) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("strip"));
    StripBoard board(link, baud);
    if (!board.WaitReady()) {
        std::printf("%7d baud: the board did not start\n", baud);
        return;
    }
    StripSender sender(MakeSerialStripSink(link, baud));
    QString failure;
    QObject::connect(&sender, &StripSender::Failed,
                     [&failure](const QString& message) { failure = message; });

    // Frames every 10 ms on absolute deadlines, as the AmbiLight tick offers them.
    std::map<int, Clock::time_point> sentAt;
    const Clock::time_point start = Clock::now();
    const Clock::time_point measuredFrom = start + std::chrono::milliseconds(int(kWarmUpSeconds * 1000));
    const Clock::time_point end = measuredFrom + std::chrono::milliseconds(int(seconds * 1000));
    int firstMeasured = 0;
    int id = 1;
    for (Clock::time_point next = start; next < end; next += kTick, ++id) {
        std::this_thread::sleep_until(next);
        if (!firstMeasured && next >= measuredFrom) firstMeasured = id;
        sentAt[id] = Clock::now();
        sender.Send(frameOf(id));
        QCoreApplication::processEvents();
    }
    const int lastSent = id - 1;
    // What is still on its way when the offering stops is not counted as received in the window, but its
    // latency counts.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    QCoreApplication::processEvents();
    sender.Stop();

    long frames = 0;
    long skipped = 0;
    long unknown = 0;
    std::vector<double> latencies;
    for (const StripBoard::Arrival& arrival : board.Arrivals()) {
        skipped = arrival.skipped;
        if (arrival.at >= measuredFrom && arrival.at < end) ++frames;
        const auto sent = sentAt.find(arrival.led0);
        if (sent == sentAt.end()) {
            ++unknown;
            continue;
        }
        if (arrival.led0 >= firstMeasured && arrival.led0 <= lastSent)
            latencies.push_back(msBetween(sent->second, arrival.at));
    }
    const double received = frames / seconds;
    const double bytesPerSecond = baud / 10.0;
    const double carried = bytesPerSecond / kFrameBytes;
    const double offered = 1000.0 / kTick.count();
    const double lineMs = kFrameBytes * 1000.0 / bytesPerSecond;
    const double goalMs = kTick.count() + lineMs;
    const double p95 = quantile(latencies, 0.95);
    std::printf(
        "%7d baud: received %6.2f frames/s; line carries %6.2f (%d bytes a frame, %.1f ms), "
        "offered %.0f; received/min(line, offered) %5.1f %%\n",
        baud, received, carried, kFrameBytes, lineMs, offered, 100.0 * received / std::min(carried, offered));
    std::printf(
        "              latency Send -> board: median %7.1f ms, p95 %7.1f ms, max %7.1f ms "
        "(goal p95 < %.1f ms: %s); %zu frames timed, skipped bytes %ld, unknown ids %ld%s%s\n",
        median(latencies), p95, quantile(latencies, 1.0), goalMs, p95 < goalMs ? "met" : "missed",
        latencies.size(), skipped, unknown, failure.isEmpty() ? "" : "; failed: ", qPrintable(failure));
    // Beyond a frame being sent and the one waiting in the sender, a longer latency is bytes queued ahead of
    // the board's paced read.
    std::printf("              queued ahead of the line at p95: about %.0f bytes (%.1f frames)\n",
                std::max(0.0, p95 - goalMs) * bytesPerSecond / 1000.0,
                std::max(0.0, p95 - goalMs) * bytesPerSecond / 1000.0 / kFrameBytes);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const double seconds = arguments.size() > 1 ? arguments[1].toDouble() : 5.0;
    const std::vector<int> rates = BaudRates(arguments, 2);
    std::printf("%d LEDs, a frame offered every %lld ms, %.1f s warm-up, %.1f s measured\n", kLeds,
                qlonglong(kTick.count()), kWarmUpSeconds, seconds);
    for (const int baud : rates) measure(baud, seconds);
    return 0;
}
