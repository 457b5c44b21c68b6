#pragma once

// The virtual board tool (varnex-board) as a paced Adalight strip for the strip benchmarks: a child process
// reading the line at its baud rate and printing each frame, its lines read and stamped on a thread here.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

// The board tool as an Adalight strip, its printed frames read on a thread of their own.
class StripBoard {
public:
    StripBoard(const QString& link, int baud) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const QByteArray program = VARNEX_BOARD_EXECUTABLE, linkPath = link.toLocal8Bit(),
                         rate = QByteArray::number(baud);
        const char* argv[] = {
            program.constData(),  "--adalight", "--pace", "--print", "--baud", rate.constData(), "--link",
            linkPath.constData(), nullptr};
        // The tool draws its window on Qt's offscreen platform: it needs no display.
        std::vector<QByteArray> variables;
        for (char** variable = environ; *variable; ++variable)
            if (qstrncmp(*variable, "QT_QPA_PLATFORM=", 16) != 0) variables.emplace_back(*variable);
        variables.emplace_back("QT_QPA_PLATFORM=offscreen");
        std::vector<char*> envp;
        for (QByteArray& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, program.constData(), &actions, nullptr, const_cast<char**>(argv),
                          envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        reader_ = std::thread([this, fd = out[0]] { read(fd); });
    }
    ~StripBoard() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
    }

    // Waits up to 10 s for the tool's first line (its port is ready then).
    bool WaitReady() {
        for (int i = 0; i < 1000 && !ready_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return ready_;
    }

    using Clock = std::chrono::steady_clock;
    // A frame the tool printed: LED 0's colour (0xRRGGBB), when its line was read, and the bytes the tool
    // had skipped so far.
    struct Arrival {
        int led0;
        Clock::time_point at;
        long skipped;
    };
    std::vector<Arrival> Arrivals() {
        const std::lock_guard lock(mutex_);
        return arrivals_;
    }

private:
    void read(int fd) {
        QByteArray pending;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            const Clock::time_point now = Clock::now();
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QList<QByteArray> words = pending.left(end).split(' ');
                pending.remove(0, end + 1);
                if (words.value(0) == "varnex-board:") ready_ = true;
                // frame adalight <n> leds <count> sum <fnv> <LED 0> ... skipped <bytes>
                if (words.value(0) != "frame" || words.size() < 9) continue;
                const std::lock_guard lock(mutex_);
                arrivals_.push_back({words[7].toInt(nullptr, 16), now, words.last().toLong()});
            }
        }
        ::close(fd);
    }

    pid_t pid_ = -1;
    std::thread reader_;
    std::atomic<bool> ready_{false};
    std::mutex mutex_;
    std::vector<Arrival> arrivals_;
};

// The baud rates named on the command line from argument `first` on; the three the strip is measured at when
// none is named.
inline std::vector<int> BaudRates(const QStringList& arguments, qsizetype first) {
    std::vector<int> rates;
    for (qsizetype i = first; i < arguments.size(); ++i) rates.push_back(arguments[i].toInt());
    if (rates.empty()) rates = {115200, 500000, 1000000};
    return rates;
}
