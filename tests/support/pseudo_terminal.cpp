#include "tests/support/pseudo_terminal.h"

#include <poll.h>
#include <unistd.h>

#include <QDeadlineTimer>

#include "tools/raw_terminal/raw_terminal.h"

PseudoTerminal::PseudoTerminal() {
    const RawTerminal terminal = OpenRawTerminal();
    master_ = terminal.master;
    slave_ = terminal.slave;
    slavePath_ = terminal.slavePath;
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
