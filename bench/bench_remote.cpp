// The remote's latency: from a key line written by the WinLIRC server to the action's effect, over 1000 key
// events, median and 99th percentile. The server is a plain socket on its own thread; the program is the real
// main window with its socket, line reader, queue and key table.
//
//   xvfb-run -a build/bench/bench_remote

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QEvent>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "remote/remote_client.h"
#include "remote/shutdown_window.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"
#include "tests/support/pseudo_terminal.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEvents = 1000;

// The moment of each effect, handed from the UI thread to the server thread.
class Effects {
public:
    void Note() {
        std::lock_guard lock(mutex_);
        times_.push_back(Clock::now());
        changed_.notify_all();
    }
    // The time of effect `n` (counting from 0), or nothing after two seconds.
    std::optional<Clock::time_point> Wait(size_t n) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(2), [&] { return times_.size() > n; }))
            return std::nullopt;
        return times_[n];
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Clock::time_point> times_;
};

class ShowHideWatch final : public QObject {
public:
    explicit ShowHideWatch(Effects& effects) : effects_(effects) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) effects_.Note();
        return false;
    }

private:
    Effects& effects_;
};

// One key event: `untimed` is written first (20 ms before, when not empty), then `line`, which is timed.
struct Event {
    QByteArray untimed;
    QByteArray line;
};
// Waits for the effect of event `n` (counting from 0) and tells when it came, or nothing after two seconds.
using EffectWait = std::function<std::optional<Clock::time_point>(size_t n)>;

// Serves one client on 127.0.0.1, writing each line 20 ms after the effect of the one before has been seen
// (a remote repeats a held key about every 110 ms), so that each line meets a program that has finished with
// the one before, painting included.
std::vector<double> serve(int listener, const std::function<Event(int)>& event, const EffectWait& effect) {
    std::vector<double> latencies;
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) return latencies;
    const auto send = [client](const QByteArray& bytes) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return write(client, bytes.constData(), size_t(bytes.size())) == bytes.size();
    };
    for (int i = 0; i < kEvents; ++i) {
        const Event next = event(i);
        if (!next.untimed.isEmpty() && !send(next.untimed)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Clock::time_point written = Clock::now();
        if (write(client, next.line.constData(), size_t(next.line.size())) != next.line.size()) break;
        const auto seen = effect(size_t(i));
        if (!seen) break;
        latencies.push_back(std::chrono::duration<double, std::milli>(*seen - written).count());
    }
    close(client);
    return latencies;
}

void report(const char* name, std::vector<double> latencies) {
    if (latencies.size() < size_t(kEvents)) {
        std::printf("%-48s failed after %zu events\n", name, latencies.size());
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%-48s median %.3f ms   99th percentile %.3f ms   max %.3f ms   (%d events)\n", name,
                latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], latencies.back(),
                kEvents);
}

// A client of the scenario's server: connects to its port on 127.0.0.1, and drops the connection.
struct Client {
    std::function<void(quint16 port)> connect;
    std::function<void()> abort;
};

Client clientOf(QTcpSocket& socket) {
    return {[&socket](quint16 port) { socket.connectToHost(QStringLiteral("127.0.0.1"), port); },
            [&socket] { socket.abort(); }};
}

Client clientOf(RemoteClient& remote) {
    return {[&remote](quint16 port) {
                remote.SetServer(QStringLiteral("127.0.0.1"), port);
                remote.Connect();
            },
            [&remote] { remote.Disconnect(); }};
}

// Runs one scenario: `client` connects to a server that writes `line(i)` for event i.
void measure(const Client& client, const char* name, const std::function<Event(int)>& event,
             const EffectWait& effect) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::printf("%s: cannot listen\n", name);
        return;
    }
    std::vector<double> latencies;
    QThread* server = QThread::create([&] { latencies = serve(listener, event, effect); });
    QObject::connect(server, &QThread::finished, qApp, &QCoreApplication::quit);
    server->start();
    client.connect(ntohs(address.sin_port));
    QApplication::exec();
    server->wait();
    delete server;
    client.abort();
    close(listener);
    report(name, std::move(latencies));
}

}  // namespace

int main(int argc, char** argv) {
    FindModulesInBuildFolder();
    QApplication application(argc, argv);
    App::Prepare();
    messages::Recorder recorder;
    QTemporaryDir folder;
    App app(folder.path());
    app.Form2->LEdit6->setText(QStringLiteral("KEY_POWER"));
    app.Form2->LEdit7->setText(QStringLiteral("KEY_EXIT"));

    Effects shown;
    ShowHideWatch watch(shown);
    app.Form3->installEventFilter(&watch);
    const auto line = [](const char* repeat, const char* key) {
        return QByteArray("0000000000000001 ") + repeat + " " + key + " TESTREMOTE\n";
    };
    const auto powerThenExit = [&](int i) {
        return Event{{}, i % 2 ? line("00", "KEY_EXIT") : line("0a", "KEY_POWER")};
    };

    // The floor on this machine: a bare socket's data event, with none of the program's code behind it.
    Effects arrived;
    QTcpSocket bare;
    QObject::connect(&bare, &QTcpSocket::readyRead, [&] { bare.readAll(), arrived.Note(); });
    measure(clientOf(bare), "bare socket, data event", powerThenExit,
            [&](size_t n) { return arrived.Wait(n); });

    measure(clientOf(app.Remote()), "shutdown question shown / hidden", powerThenExit,
            [&](size_t n) { return shown.Wait(n); });

    // Colour music switched on (untimed: its first tick comes 33 ms later by design), then off: the time to
    // the all-off command on the serial line.
    PseudoTerminal board;
    app.Light().OpenPort(board.slavePath());
    app.Form2->LEdit4->setText(QStringLiteral("KEY_RED"));
    measure(
        clientOf(app.Remote()), "colour music off, all-off command on the line",
        [&](int) {
            board.read(0, 0);
            return Event{line("00", "KEY_RED"), line("00", "KEY_RED")};
        },
        [&](size_t) -> std::optional<Clock::time_point> {
            QByteArray seen;
            for (const auto deadline = Clock::now() + std::chrono::seconds(2); Clock::now() < deadline;)
                if ((seen += board.read(1, 100)).contains(AllOffCommand)) return Clock::now();
            return std::nullopt;
        });
    return 0;
}
