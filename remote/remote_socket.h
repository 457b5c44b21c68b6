#pragma once

// The program's TCP connections to the WinLIRC server (the connection that carries the keys, and the probe
// that checks whether a server listens): a TcpLink from the network module, made on the first connect. Until
// then the socket is unconnected and the module is not loaded.

#include <QObject>
#include <memory>

#include "remote/tcp_link.h"

class RemoteSocket final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteSocket)

public:
    using State = TcpLink::State;

    explicit RemoteSocket(QObject* parent = nullptr);
    ~RemoteSocket() override;

    // Starts connecting. When the network module cannot be loaded (the reason goes to stderr), the attempt
    // fails from the event loop with ELIBACC, as a refused one does.
    void ConnectToHost(const QString& host, quint16 port);
    void Abort();
    State GetState() const;
    QByteArray ReadAll();

signals:
    void Connected();
    void ReadyRead();
    // See TcpLink::Events.
    void Failed(int errorNumber);
    void Unconnected();

private:
    std::unique_ptr<TcpLink> link_;
};
