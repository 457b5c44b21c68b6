#pragma once

// The virtual strip's network side: a UDP socket on 127.0.0.1 that takes WLED realtime packets or DDP packets
// and passes on the frames they make. Nothing listens on any other address.

#include <QObject>
#include <QTimer>

#include "tools/board/strip_receiver.h"

class QUdpSocket;

class StripUdpReceiver final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripUdpReceiver)

public:
    enum class Protocol { Wled, Ddp };
    static constexpr quint16 WledPort = 21324;
    static constexpr quint16 DdpPort = 4048;

    // Binds 127.0.0.1:`port` (0: a free port the system picks); throws std::runtime_error when that cannot
    // be done.
    StripUdpReceiver(Protocol protocol, quint16 port, QObject* parent = nullptr);

    Protocol Kind() const { return protocol_; }
    QString Name() const;
    quint16 Port() const;
    qint64 Datagrams() const { return datagrams_; }
    // Datagrams that were not packets this receiver shows.
    qint64 Ignored() const { return ignored_ + ddp_.Refused(); }

signals:
    void Frame(const StripColours& leds);
    // The WLED strip went back to the controller's own effect: its timeout passed without a packet.
    void Released();

private:
    void readPending();
    void take(QByteArrayView datagram);

    Protocol protocol_;
    QUdpSocket* socket_;
    QTimer release_;
    WledStrip wled_;
    DdpStrip ddp_;
    qint64 datagrams_ = 0;
    qint64 ignored_ = 0;
};
