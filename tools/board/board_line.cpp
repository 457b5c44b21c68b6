#include "tools/board/board_line.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/raw_terminal/raw_terminal.h"

namespace {

// The paced line delivers at most this many bytes at once: a UART's receive FIFO, or what the line carries in
// this many seconds on a line fast enough for that to be more (a tick that late then loses nothing).
constexpr double kBurstBytes = 16;
constexpr double kBurstSeconds = 0.016;
constexpr int kPaceIntervalMs = 5;

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(
        (what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno))).toStdString());
}

}  // namespace

QString BoardLine::DefaultLinkPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime + QStringLiteral("/varnex-board");
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = QString::number(::getuid());
    return QStringLiteral("/tmp/varnex-board-") + user;
}

BoardLine::BoardLine(const QString& linkPath, QObject* parent) : QObject(parent), linkPath_(linkPath) {
    const RawTerminal terminal = OpenRawTerminal();
    master_ = terminal.master;
    slave_ = terminal.slave;
    devicePath_ = terminal.slavePath;

    const QByteArray link = QFile::encodeName(linkPath_);
    const QFileInfo existing(linkPath_);
    if (existing.isSymLink()) {
        ::unlink(link.constData());
    } else if (existing.exists()) {
        errno = EEXIST;
        fail(linkPath_);
    }
    if (::symlink(QFile::encodeName(devicePath_).constData(), link.constData()) != 0) fail(linkPath_);

    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    notifier_->setEnabled(false);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readAvailable(1 << 16); });
    pacer_ = new QTimer(this);
    pacer_->setTimerType(Qt::PreciseTimer);
    pacer_->setInterval(kPaceIntervalMs);
    connect(pacer_, &QTimer::timeout, this, &BoardLine::paceTick);
}

BoardLine::~BoardLine() {
    if (QFileInfo(linkPath_).symLinkTarget() == devicePath_)
        ::unlink(QFile::encodeName(linkPath_).constData());
    ::close(master_);
    ::close(slave_);
}

void BoardLine::Start() {
    clock_.start();
    SetPaced(paced_);
}

void BoardLine::SetPaced(bool paced) {
    paced_ = paced;
    if (!clock_.isValid()) return;
    notifier_->setEnabled(!paced);
    credit_ = 0;
    lastTick_ = clock_.nsecsElapsed();
    if (paced) {
        pacer_->start();
    } else {
        pacer_->stop();
        readAvailable(1 << 16);
    }
}

void BoardLine::paceTick() {
    const qint64 now = clock_.nsecsElapsed();
    const double burst = qMax(kBurstBytes, kBurstSeconds * bytesPerSecond_);
    credit_ = qMin(burst, credit_ + (now - lastTick_) * 1e-9 * bytesPerSecond_);
    lastTick_ = now;
    const qint64 whole = qint64(credit_);
    if (whole > 0) readAvailable(whole);
}

void BoardLine::readAvailable(qint64 limit) {
    QByteArray bytes;
    while (bytes.size() < limit) {
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, size_t(qMin<qint64>(sizeof buffer, limit - bytes.size())));
        if (n <= 0) break;
        bytes.append(buffer, n);
    }
    if (bytes.isEmpty()) return;
    if (paced_) credit_ -= bytes.size();
    bytesRead_ += bytes.size();
    parser_.Feed(bytes);
    emit Received(bytes);
}
