// The light link's write: the cost of WriteText of one zone command on a pseudo-terminal whose reader keeps
// up, and the command rate a steady writer reaches when the virtual board reads at the line's 960 bytes a
// second (the line's physical limit is 160 zone commands a second).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "tools/board/board_line.h"

namespace {

// A virtual board reading on its own thread, as the tool does in its own process.
class BoardThread {
public:
    explicit BoardThread(bool paced) {
        line_ = new BoardLine(dir_.filePath(QStringLiteral("board")));
        line_->SetPaced(paced);
        line_->moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(line_, &BoardLine::Start, Qt::BlockingQueuedConnection);
    }
    ~BoardThread() {
        QMetaObject::invokeMethod(
            line_, [line = line_] { delete line; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    QString Path() const { return line_->LinkPath(); }

private:
    QTemporaryDir dir_;
    QThread thread_;
    BoardLine* line_;
};

void BM_WriteZoneCommand(benchmark::State& state) {
    BoardThread board(false);
    SerialLink link;
    link.Port = board.Path();
    link.SetConnected(true);
    const QByteArray command = ZoneCommand(LeftUpperZone, 0x000000FF);
    for (auto _ : state) link.WriteText(command);
    state.SetBytesProcessed(state.iterations() * command.size());
}
BENCHMARK(BM_WriteZoneCommand)->Unit(benchmark::kMicrosecond);

void BM_PacedCommandRate(benchmark::State& state) {
    BoardThread board(true);
    SerialLink link;
    link.Port = board.Path();
    link.SetConnected(true);
    const QByteArray command = ZoneCommand(LeftUpperZone, 0x000000FF);
    for (auto _ : state) {
        // Until the pseudo-terminal's buffer is full the writer runs ahead of the line; from then on the
        // board's pace holds it back. Full: ten commands took longer than the line needs for them (62.5 ms).
        QElapsedTimer fill;
        fill.start();
        qint64 ahead = 0;
        for (;;) {
            QElapsedTimer ten;
            ten.start();
            for (int i = 0; i < 10; ++i) link.WriteText(command);
            ahead += 10 * command.size();
            if (ten.elapsed() >= 60 || fill.elapsed() > 120000) break;
        }
        const double fillSeconds = fill.elapsed() / 1000.0;

        QElapsedTimer window;
        window.start();
        qint64 commands = 0;
        while (window.elapsed() < 5000) {
            link.WriteText(command);
            ++commands;
        }
        state.counters["commands_per_s"] = commands * 1000.0 / window.elapsed();
        state.counters["bytes_ahead_before_paced"] = double(ahead);
        state.counters["fill_s"] = fillSeconds;
    }
}
BENCHMARK(BM_PacedCommandRate)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
