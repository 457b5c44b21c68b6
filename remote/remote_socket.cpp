#include "remote/remote_socket.h"

#include <QMetaObject>
#include <cerrno>
#include <cstdio>

#include "common/program_module.h"

RemoteSocket::RemoteSocket(QObject* parent) : QObject(parent) {}

RemoteSocket::~RemoteSocket() = default;

void RemoteSocket::ConnectToHost(const QString& host, quint16 port) {
    if (!link_) {
        QString error;
        auto* create = reinterpret_cast<CreateTcpLinkFunction*>(
            ResolveModuleSymbol(TcpLinkModule, CreateTcpLinkSymbol, error));
        if (!create) {
            std::fprintf(stderr, "varnex: cannot load the network module (%s)\n", qPrintable(error));
            QMetaObject::invokeMethod(
                this,
                [this] {
                    emit Failed(ELIBACC);
                    emit Unconnected();
                },
                Qt::QueuedConnection);
            return;
        }
        link_.reset(
            create({[this] { emit Connected(); }, [this] { emit ReadyRead(); },
                    [this](int errorNumber) { emit Failed(errorNumber); }, [this] { emit Unconnected(); }}));
    }
    link_->ConnectToHost(host, port);
}

void RemoteSocket::Abort() {
    if (link_) link_->Abort();
}

RemoteSocket::State RemoteSocket::GetState() const {
    return link_ ? link_->GetState() : State::Unconnected;
}

QByteArray RemoteSocket::ReadAll() {
    return link_ ? link_->ReadAll() : QByteArray();
}
