#include "light/strip_sinks.h"

// termios2 and BOTHER set any baud rate as a number: the kernel's own header, not <termios.h>.
#include <asm/termbits.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

QString systemReason(int code) {
    return qt_error_string(code);
}

// A descriptor closed with its owner.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// Wakes a sink's waits from another thread: once signalled, it stays readable.
class Interruption {
public:
    Interruption() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    void signal() {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd_.get(), &one, sizeof one);
    }
    int fd() const { return fd_.get(); }
    // Waits up to `ms` (−1: without end) for `fd` to be ready for `events`; raises StripInterrupted when
    // interrupted first. Returns false when the time ran out.
    bool wait(int fd, short events, int ms) const {
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {fd, events, 0}};
        const int n = ::poll(fds, fd >= 0 ? 2 : 1, ms);
        if (fds[0].revents & POLLIN) throw StripInterrupted{};
        return n > 0;
    }
    // Sleeps `ns` nanoseconds; raises StripInterrupted when interrupted first.
    void sleep(qint64 ns) const {
        pollfd fds[1] = {{fd_.get(), POLLIN, 0}};
        const timespec time{time_t(ns / 1000000000), long(ns % 1000000000)};
        ::ppoll(fds, 1, &time, nullptr);
        if (fds[0].revents & POLLIN) throw StripInterrupted{};
    }

private:
    Descriptor fd_;
};

class SerialStripSink final : public StripSink {
public:
    SerialStripSink(const QString& port, int baud)
        : port_(port), baud_(std::clamp(baud, SerialStripMinBaud, SerialStripMaxBaud)) {}

    void Open() override {
        const QString path = port_.startsWith(QLatin1Char('/')) ? port_ : QStringLiteral("/dev/") + port_;
        fd_.reset(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (fd_.get() < 0) fail(errno);
        if (::ioctl(fd_.get(), TIOCEXCL) != 0) fail(errno);
        termios2 settings{};
        if (::ioctl(fd_.get(), TCGETS2, &settings) != 0) fail(errno);
        settings.c_iflag = 0;
        settings.c_oflag = 0;
        settings.c_lflag = 0;
        settings.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
        settings.c_ispeed = settings.c_ospeed = speed_t(baud_);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::ioctl(fd_.get(), TCSETS2, &settings) != 0) fail(errno);
        ::ioctl(fd_.get(), TCFLSH, TCIOFLUSH);
    }

    void Write(const QByteArray& packet) override {
        if (!clock_.isValid()) clock_.start();
        // The packet leaves after what the line still carries, or from now on an idle line.
        lineFreeNs_ = std::max(lineFreeNs_, clock_.nsecsElapsed()) + packet.size() * 10'000'000'000LL / baud_;
        const char* data = packet.constData();
        qsizetype left = packet.size();
        QDeadlineTimer stalled(WriteStallMs);
        while (left > 0) {
            const ssize_t written = ::write(fd_.get(), data, size_t(left));
            if (written > 0) {
                data += written;
                left -= written;
                stalled.setRemainingTime(WriteStallMs);
                continue;
            }
            if (written < 0 && errno != EAGAIN && errno != EINTR) failWrite(errno);
            if (stalled.hasExpired()) failWrite(ETIMEDOUT);
            interruption_.wait(fd_.get(), POLLOUT, int(stalled.remainingTime()));
        }
        drain();
    }

    void Interrupt() override { interruption_.signal(); }

private:
    // Until the driver's queue is empty: waits of about the queue's line time, each cut short by Interrupt.
    // Then until the bytes written have had the line's time: a driver that takes them faster than the line
    // and does not count them in its queue (a pseudo-terminal counts nothing and holds some 20 KB; an
    // adapter's own buffer is not counted) still sends them at baud / 10 bytes a second, and a frame written
    // early would wait behind them there, where no newer frame can replace it.
    void drain() {
        const qint64 bytesPerSecond = baud_ / 10;
        QDeadlineTimer stalled(WriteStallMs);
        int queued = 0;
        int before = -1;
        while (::ioctl(fd_.get(), TIOCOUTQ, &queued) == 0 && queued > 0) {
            if (queued != before) stalled.setRemainingTime(WriteStallMs);
            before = queued;
            if (stalled.hasExpired()) failWrite(ETIMEDOUT);
            interruption_.wait(-1, 0, int(std::clamp<qint64>(queued * 1000 / bytesPerSecond, 1, 20)));
        }
        // The last character leaving the shift register takes microseconds.
        if (::ioctl(fd_.get(), TCSBRK, 1) != 0 && errno != EINTR) failWrite(errno);
        for (qint64 left; (left = lineFreeNs_ - clock_.nsecsElapsed()) > 0;) interruption_.sleep(left);
    }

    [[noreturn]] void fail(int code) {
        throw StripError(QStringLiteral("Не удалось открыть порт %1! (%2)").arg(port_, systemReason(code)));
    }
    [[noreturn]] void failWrite(int code) {
        throw StripError(
            QStringLiteral("Не удалось отправить данные в порт %1! (%2)").arg(port_, systemReason(code)));
    }

    const QString port_;
    const int baud_;
    Descriptor fd_;
    Interruption interruption_;
    QElapsedTimer clock_;
    qint64 lineFreeNs_ = 0;  // when the line has carried everything written, on clock_
};

class UdpStripSink final : public StripSink {
public:
    UdpStripSink(const QString& host, quint16 port) : host_(host), port_(port) {}

    void Open() override {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const QByteArray service = QByteArray::number(port_);
        const int error = ::getaddrinfo(host_.toUtf8().constData(), service.constData(), &hints, &found);
        if (interrupted_) {
            if (found) ::freeaddrinfo(found);
            throw StripInterrupted{};
        }
        if (error != 0 || !found) {
            const QString reason =
                error == EAI_SYSTEM ? systemReason(errno) : QString::fromLocal8Bit(gai_strerror(error));
            throw StripError(QStringLiteral("Не удалось найти адрес %1! (%2)").arg(host_, reason));
        }
        const addrinfo* chosen = found;
        for (const addrinfo* each = found; each; each = each->ai_next) {
            if (each->ai_family == AF_INET) {
                chosen = each;
                break;
            }
        }
        socket_.reset(::socket(chosen->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const int code = socket_.get() < 0                                               ? errno
                         : ::connect(socket_.get(), chosen->ai_addr, chosen->ai_addrlen) ? errno
                                                                                         : 0;
        ::freeaddrinfo(found);
        if (code != 0) failWrite(code);
    }

    void Write(const QByteArray& packet) override {
        if (interrupted_) throw StripInterrupted{};
        for (;;) {
            if (::send(socket_.get(), packet.constData(), size_t(packet.size()), MSG_NOSIGNAL) >= 0) return;
            // A full send queue drops the packet, as the network would; the next picture follows soon.
            if (errno == EAGAIN || errno == ENOBUFS) return;
            if (errno != EINTR) failWrite(errno);
        }
    }

    void Interrupt() override { interrupted_ = true; }

private:
    [[noreturn]] void failWrite(int code) {
        throw StripError(QStringLiteral("Не удалось отправить данные на %1:%2! (%3)")
                             .arg(host_)
                             .arg(port_)
                             .arg(systemReason(code)));
    }

    const QString host_;
    const quint16 port_;
    Descriptor socket_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace

std::unique_ptr<StripSink> MakeSerialStripSink(const QString& port, int baud) {
    return std::make_unique<SerialStripSink>(port, baud);
}

std::unique_ptr<StripSink> MakeUdpStripSink(const QString& host, quint16 port) {
    return std::make_unique<UdpStripSink>(host, port);
}
