#include "light/serial_link.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <QDeadlineTimer>
#include <QThread>
#include <cerrno>
#include <stdexcept>
#include <string>

namespace {

std::string errorText(const char* what, int code) {
    return std::string(what) + " (win error code: " + std::to_string(code) + ")";
}

[[noreturn]] void raise(const char* what, int code) {
    throw std::runtime_error(errorText(what, code));
}

// Qt's port errors carry no system error number: errno is taken right after the failing call, and where it
// does not fit Qt's error class, the class's usual number stands in.
int systemError(const QSerialPort& port, int savedErrno) {
    switch (port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return savedErrno == ENODEV || savedErrno == ENXIO ? savedErrno : ENOENT;
        case QSerialPort::PermissionError:
            return savedErrno == EACCES || savedErrno == EPERM ? savedErrno : EBUSY;
        case QSerialPort::TimeoutError:
            return ETIMEDOUT;
        default:
            return savedErrno != 0 ? savedErrno : EIO;
    }
}

}  // namespace

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::onError);
    connect(&port_, &QSerialPort::readyRead, this, [this] { port_.readAll(); });
}

SerialLink::~SerialLink() {
    // The port closes as it goes; nothing of that is news to anyone any more.
    port_.disconnect(this);
}

void SerialLink::SetConnected(bool connected) {
    if (connected == Connected()) return;
    if (connected) {
        open();
    } else {
        close();
    }
}

void SerialLink::open() {
    lossPending_ = false;
    port_.setPortName(Port);
    errno = 0;
    if (!port_.open(QIODevice::ReadWrite)) {
        const int code = systemError(port_, errno);
        port_.clearError();
        raise("Unable to open com port", code);
    }
    try {
        applySettings();
    } catch (...) {
        port_.close();
        throw;
    }
}

void SerialLink::applySettings() {
    const int fd = port_.handle();

    // Queues: what arrives is read into at most QueueSize bytes (and dropped); both driver queues start
    // empty.
    port_.setReadBufferSize(QueueSize);
    if (::tcflush(fd, TCIOFLUSH) != 0) raise("SetupComm function failed", errno);

    // Line settings.
    errno = 0;
    const bool ok = port_.setBaudRate(BaudRate) && port_.setDataBits(QSerialPort::Data8) &&
                    port_.setParity(QSerialPort::NoParity) && port_.setStopBits(QSerialPort::OneStop) &&
                    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) raise("SetCommState function failed", systemError(port_, errno));
    // Modem lines are held inactive; a pseudo-terminal has none, which is not a fault of the link.
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    port_.clearError();

    // Time-outs: a read never waits (nothing is read anyway); writes are bounded by WriteText's deadline.
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) raise("SetCommTimeouts failed", errno);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) raise("SetCommTimeouts failed", errno);
}

void SerialLink::close() {
    lossPending_ = false;
    port_.close();
    port_.clearError();
}

void SerialLink::WriteText(const QByteArray& text) {
    // A closed port refuses even an empty command, so that a caller that writes nothing for a while (colour
    // music in silence) still learns that the port is gone.
    if (!port_.isOpen()) raise("WriteFile function failed", EBADF);
    if (text.isEmpty()) return;
    const QDeadlineTimer deadline(WriteTimeout + PerByteTimeout * text.size(), Qt::PreciseTimer);
    port_.readAll();

    // With nothing of an earlier write left in Qt's queue, the bytes go straight to the driver: one system
    // call, where Qt's queue and its wait for the port would take several. What the driver does not take at
    // once (a full line) goes through Qt's queue and waits there, within the deadline.
    const int fd = port_.handle();
    qint64 sent = 0;
    if (port_.bytesToWrite() == 0) {
        errno = 0;
        const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
        if (written > 0) {
            sent = written;
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            failWrite(errno);
        }
    }
    if (sent < text.size()) {
        writeQueued(text.mid(sent), deadline);
        // Bytes in the driver's queue have not reached the line yet: wait until the queue is empty, within
        // the deadline.
        int queued = 0;
        while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
            if (deadline.hasExpired()) failWrite(ETIMEDOUT);
            QThread::msleep(qMin<qint64>(deadline.remainingTime(), queued * 10000 / BaudRate + 1));
        }
    }
    // Then for the last character to leave. Taken whole by an empty driver queue, the text leaves within its
    // own line time, well inside the deadline, so this wait needs no bound of its own.
    if (::tcdrain(fd) != 0) failWrite(errno);
}

void SerialLink::writeQueued(const QByteArray& text, const QDeadlineTimer& deadline) {
    errno = 0;
    if (port_.write(text) != text.size()) failWrite(systemError(port_, errno));
    while (port_.bytesToWrite() > 0) {
        if (deadline.hasExpired()) failWrite(ETIMEDOUT);
        errno = 0;
        if (port_.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 1)))) continue;
        const int savedErrno = errno;
        if (port_.bytesToWrite() == 0) break;
        if (deviceGone()) failWrite(EIO);
        switch (port_.error()) {
            case QSerialPort::NoError:
            case QSerialPort::TimeoutError:
            case QSerialPort::ReadError:
                // Woken by something else than the write (or not yet done): go on until the deadline.
                port_.clearError();
                port_.readAll();
                break;
            default:
                failWrite(systemError(port_, savedErrno));
        }
    }
}

void SerialLink::failWrite(int code) {
    // Whatever did not go out is dropped, so that no half command is sent ahead of the next one.
    port_.clear(QSerialPort::Output);
    port_.clearError();
    if (deviceGone()) {
        code = EIO;
        noteLoss(QString());
        port_.close();
    } else if (lossPending_) {
        lossText_.clear();
    }
    raise("WriteFile function failed", code);
}

bool SerialLink::PortAvailable(const QString& name) {
    if (name.isEmpty()) return false;
    QSerialPort probe;
    probe.setPortName(name);
    if (!probe.open(QIODevice::ReadWrite)) return false;
    probe.close();
    return true;
}

bool SerialLink::deviceGone() const {
    if (!port_.isOpen()) return false;
    pollfd fd{port_.handle(), 0, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialLink::onError(QSerialPort::SerialPortError error) {
    // A failed read or write whose device has hung up means the device is gone; other errors (such as the
    // modem-line calls on a pseudo-terminal) are not faults of the link.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    if (lossPending_ || !deviceGone()) return;
    noteLoss(QString::fromStdString(errorText("WriteFile function failed", EIO)));
}

void SerialLink::noteLoss(const QString& text) {
    lossText_ = text;
    if (lossPending_) return;
    lossPending_ = true;
    // Closed from the event loop, never from inside Qt's own port code that reported the error.
    QMetaObject::invokeMethod(this, &SerialLink::finishLoss, Qt::QueuedConnection);
}

void SerialLink::finishLoss() {
    if (!lossPending_) return;
    lossPending_ = false;
    port_.close();
    port_.clearError();
    emit DeviceLost(lossText_);
}
