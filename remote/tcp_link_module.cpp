// The module varnex_net.so: TcpLink over Qt's TCP socket.

#include <QTcpSocket>
#include <cerrno>

#include "remote/tcp_link.h"

namespace {

// The system error number behind a socket error.
int errorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return ECONNREFUSED;
        case QAbstractSocket::RemoteHostClosedError:
            return ECONNRESET;
        case QAbstractSocket::HostNotFoundError:
            return EHOSTUNREACH;
        case QAbstractSocket::SocketTimeoutError:
            return ETIMEDOUT;
        case QAbstractSocket::SocketAccessError:
            return EACCES;
        case QAbstractSocket::SocketResourceError:
            return ENOBUFS;
        default:
            return EIO;
    }
}

class QtTcpLink final : public TcpLink {
public:
    explicit QtTcpLink(Events events) {
        QObject::connect(&socket_, &QTcpSocket::connected, [events] { events.connected(); });
        QObject::connect(&socket_, &QTcpSocket::readyRead, [events] { events.readyRead(); });
        QObject::connect(&socket_, &QTcpSocket::errorOccurred,
                         [events](QAbstractSocket::SocketError error) { events.failed(errorNumber(error)); });
        QObject::connect(&socket_, &QTcpSocket::stateChanged, [events](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::UnconnectedState) events.unconnected();
        });
    }
    ~QtTcpLink() override {
        // Closed without reporting: whoever listens is going away.
        QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
        socket_.abort();
    }

    void ConnectToHost(const QString& host, quint16 port) override { socket_.connectToHost(host, port); }
    void Abort() override { socket_.abort(); }
    State GetState() const override {
        switch (socket_.state()) {
            case QAbstractSocket::UnconnectedState:
                return State::Unconnected;
            case QAbstractSocket::ConnectedState:
                return State::Connected;
            default:
                return State::Connecting;
        }
    }
    QByteArray ReadAll() override { return socket_.readAll(); }

private:
    QTcpSocket socket_;
};

}  // namespace

extern "C" Q_DECL_EXPORT TcpLink* VarnexCreateTcpLink(TcpLink::Events events) {
    return new QtTcpLink(std::move(events));
}
