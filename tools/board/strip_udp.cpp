#include "tools/board/strip_udp.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <stdexcept>

namespace {

qint64 nowMs() {
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

}  // namespace

StripUdpReceiver::StripUdpReceiver(Protocol protocol, quint16 port, QObject* parent)
    : QObject(parent), protocol_(protocol), socket_(new QUdpSocket(this)) {
    if (!socket_->bind(QHostAddress(QHostAddress::LocalHost), port))
        throw std::runtime_error(QStringLiteral("%1 on 127.0.0.1:%2: %3")
                                     .arg(Name())
                                     .arg(port)
                                     .arg(socket_->errorString())
                                     .toStdString());
    release_.setSingleShot(true);
    release_.setTimerType(Qt::PreciseTimer);
    connect(&release_, &QTimer::timeout, this, [this] {
        if (wled_.Released(nowMs()))
            emit Released();
        else if (wled_.ReleaseAt())
            release_.start(int(qMax<qint64>(0, *wled_.ReleaseAt() - nowMs())));
    });
    connect(socket_, &QUdpSocket::readyRead, this, &StripUdpReceiver::readPending);
}

QString StripUdpReceiver::Name() const {
    return protocol_ == Protocol::Wled ? QStringLiteral("wled") : QStringLiteral("ddp");
}

quint16 StripUdpReceiver::Port() const {
    return socket_->localPort();
}

void StripUdpReceiver::readPending() {
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_->receiveDatagram();
        ++datagrams_;
        take(datagram.data());
    }
}

void StripUdpReceiver::take(QByteArrayView datagram) {
    if (protocol_ == Protocol::Wled) {
        const std::optional<WledPacket> packet = ParseWled(datagram);
        if (!packet) {
            ++ignored_;
            return;
        }
        const qint64 now = nowMs();
        wled_.Apply(*packet, now);
        if (wled_.ReleaseAt())
            release_.start(int(*wled_.ReleaseAt() - now));
        else
            release_.stop();
        emit Frame(wled_.Leds());
        return;
    }
    const std::optional<DdpPacket> packet = ParseDdp(datagram);
    if (!packet) {
        ++ignored_;
        return;
    }
    if (const std::optional<StripColours> frame = ddp_.Apply(*packet)) emit Frame(*frame);
}
