#include "light/serial_link.h"

#include <termios.h>

#include <QDeadlineTimer>
#include <cerrno>
#include <stdexcept>

namespace {

[[noreturn]] void raise(const char* what, int code) {
    throw std::runtime_error(std::string(what) + " (win error code: " + std::to_string(code) + ")");
}

// Qt's port errors carry no system error number; errno is read right at the failing call and, where the call
// left none, a number that matches Qt's error class is used.
int systemError(const QSerialPort& port, int savedErrno) {
    if (savedErrno != 0) return savedErrno;
    switch (port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return ENOENT;
        case QSerialPort::PermissionError:
            return EACCES;
        case QSerialPort::TimeoutError:
            return ETIMEDOUT;
        case QSerialPort::ResourceError:
            return EIO;
        default:
            return EIO;
    }
}

void applyLineSettings(QSerialPort& port) {
    port.setReadBufferSize(SerialLink::QueueSize);
    errno = 0;
    const bool ok = port.setBaudRate(SerialLink::BaudRate) && port.setDataBits(QSerialPort::Data8) &&
                    port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
                    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) raise("SetCommState function failed", systemError(port, errno));
    // Modem lines are held inactive; a pseudo-terminal has none, which is not a fault of the link.
    port.setDataTerminalReady(false);
    port.setRequestToSend(false);
    port.clearError();
}

}  // namespace

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

void SerialLink::SetConnected(bool connected) {
    if (connected == Connected()) return;
    if (connected) {
        open();
    } else {
        port_.close();
    }
}

void SerialLink::open() {
    port_.setPortName(Port);
    errno = 0;
    if (!port_.open(QIODevice::ReadWrite)) {
        const int code = systemError(port_, errno);
        port_.clearError();
        raise("Unable to open com port", code);
    }
    try {
        applyLineSettings(port_);
    } catch (...) {
        port_.close();
        throw;
    }
}

void SerialLink::WriteText(const QByteArray& text) {
    if (text.isEmpty()) return;
    if (!port_.isOpen()) raise("WriteFile function failed", EBADF);
    errno = 0;
    if (port_.write(text) != text.size()) raise("WriteFile function failed", systemError(port_, errno));
    // The driver gives up after 1000 ms plus 100 ms per byte.
    QDeadlineTimer deadline(1000 + 100 * text.size());
    while (port_.bytesToWrite() > 0) {
        errno = 0;
        if (!port_.waitForBytesWritten(int(deadline.remainingTime())) || deadline.hasExpired()) {
            if (port_.bytesToWrite() == 0) break;
            const int code = deadline.hasExpired() ? ETIMEDOUT : systemError(port_, errno);
            port_.clear(QSerialPort::Output);
            port_.clearError();
            raise("WriteFile function failed", code);
        }
    }
    // Bytes in the kernel's buffer have not reached the line yet; wait until they have.
    if (::tcdrain(port_.handle()) != 0) raise("WriteFile function failed", errno);
}

bool SerialLink::PortAvailable(const QString& name) {
    if (name.isEmpty()) return false;
    QSerialPort probe;
    probe.setPortName(name);
    if (!probe.open(QIODevice::ReadWrite)) return false;
    probe.close();
    return true;
}

void SerialLink::onError(QSerialPort::SerialPortError error) {
    // Only a device that is gone closes the link; failed writes are reported by WriteText itself.
    if (error != QSerialPort::ResourceError || !port_.isOpen()) return;
    const QString text = QStringLiteral("WriteFile function failed (win error code: %1)").arg(EIO);
    port_.close();
    emit DeviceLost(text);
}
