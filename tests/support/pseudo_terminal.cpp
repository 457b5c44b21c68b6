#include "tests/support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <stdexcept>

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    if (slave_ >= 0) ::close(slave_);
}

QByteArray PseudoTerminal::read(int atLeast, int waitMs) {
    QByteArray data;
    QDeadlineTimer deadline(waitMs);
    while (master_ >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
            continue;
        }
        if (data.size() >= atLeast || deadline.hasExpired()) break;
        pollfd fd{master_, POLLIN, 0};
        ::poll(&fd, 1, int(qMin<qint64>(deadline.remainingTime(), 50)));
    }
    return data;
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}
