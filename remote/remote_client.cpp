#include "remote/remote_client.h"

#include <QMetaObject>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

const QString kNotRunning = QStringLiteral("WinLirc не запущен!");

}  // namespace

RemoteClient::RemoteClient(WindowExists windowExists, Guard guard, QObject* parent)
    : QObject(parent),
      windowExists_(std::move(windowExists)),
      guard_(guard ? std::move(guard) : [](const std::function<void()>& run) { run(); }),
      socket_(new RemoteSocket(this)),
      reconnect_(new QTimer(this)),
      probe_(new RemoteSocket(this)),
      probeLimit_(new QTimer(this)) {
    socket_->setObjectName(QStringLiteral("cs"));
    reconnect_->setObjectName(QStringLiteral("Timer2"));
    reconnect_->setInterval(ReconnectInterval);
    connect(reconnect_, &QTimer::timeout, this, &RemoteClient::Timer2Timer);
    connect(socket_, &RemoteSocket::ReadyRead, this, &RemoteClient::csRead);

    probeLimit_->setSingleShot(true);
    probeLimit_->setInterval(ProbeTimeout);
    connect(probe_, &RemoteSocket::Connected, this, [this] { answerProbe(true); });
    connect(probe_, &RemoteSocket::Failed, this, [this] { answerProbe(false); });
    connect(probeLimit_, &QTimer::timeout, this, [this] { answerProbe(false); });

    // The state shown follows the connection: back to "disconnected" when it fails or closes. Each connection
    // reads its lines afresh: nothing of the last one (half a line, an open block) carries over.
    connect(socket_, &RemoteSocket::Connected, this, [this] {
        connected_ = true;
        reader_ = {};
    });
    connect(socket_, &RemoteSocket::Unconnected, this, [this] {
        if (!std::exchange(connected_, false)) return;
        emit ConnectionShown(false);
    });
    connect(socket_, &RemoteSocket::Failed, this, [this](int number) {
        QString text;
        if (!connected_) {
            text = QStringLiteral("Asynchronous socket error %1").arg(number);
        } else if (number != ECONNRESET) {  // not a close by the server
            text = QStringLiteral("Windows socket error: %1 (%2), on API 'recv'")
                       .arg(QString::fromLocal8Bit(std::strerror(number)))
                       .arg(number);
            socket_->Abort();
        }
        emit ConnectionShown(false);
        // Told from the event loop: a modal box must not run inside the socket's own signal.
        if (!text.isEmpty())
            QMetaObject::invokeMethod(
                this, [this, text] { emit Error(text); }, Qt::QueuedConnection);
    });
}

RemoteClient::~RemoteClient() = default;

void RemoteClient::SetServer(const QString& host, quint16 port) {
    host_ = host;
    port_ = port;
}

void RemoteClient::SetKeyTable(const QStringList& boxes) {
    boxes_ = boxes;
}

// Only reads and splits: each complete line is handled later through the event queue, so a key whose action
// opens a message box does not hold back the keys after it.
void RemoteClient::csRead() {
    for (const QByteArray& line : reader_.Feed(socket_->ReadAll())) {
        QMetaObject::invokeMethod(
            this, [this, line] { guard_([this, &line] { DispatchLircLine(line); }); }, Qt::QueuedConnection);
    }
}

void RemoteClient::DispatchLircLine(const QByteArray& line) {
    last_ = SplitLircLine(QString::fromUtf8(line));
    if (IsPress(last_)) emit KeyPressed();
    RunKeyTable(
        EventKey(last_), [this](int box) { return boxes_.value(box); },
        [this] { return windowExists_(QStringLiteral("Light Alloy")); },
        [this](RemoteAction action) { emit Action(action); });
}

// WinLIRC runs when its window exists, or when something accepts connections on its port here (LIRC's lircd
// has no window).
void RemoteClient::CheckWinLircRunning(std::function<void(bool running)> then) {
    if (windowExists_(QStringLiteral("WinLirc"))) return then(true);
    probeWaiters_.append(std::move(then));
    if (probe_->GetState() != RemoteSocket::State::Unconnected) return;
    probeLimit_->start();
    probe_->ConnectToHost(host_, port_);
}

void RemoteClient::answerProbe(bool running) {
    probeLimit_->stop();
    probe_->Abort();
    for (const auto& then : std::exchange(probeWaiters_, {})) guard_([&] { then(running); });
}

void RemoteClient::StartReconnecting() {
    reconnect_->start();
}

bool RemoteClient::Reconnecting() const {
    return reconnect_->isActive();
}

void RemoteClient::Timer2Timer() {
    CheckWinLircRunning([this](bool running) {
        if (!running) return;
        Connect();
        reconnect_->stop();
        emit ConnectionShown(true);
    });
}

void RemoteClient::ToggleConnection() {
    CheckWinLircRunning([this](bool running) {
        if (!running) {
            emit Notice(kNotRunning);
            return;
        }
        if (socket_->GetState() == RemoteSocket::State::Connected) {
            socket_->Abort();
            emit ConnectionShown(false);
            return;
        }
        // A connection already on its way is left to finish.
        Connect();
        emit ConnectionShown(true);
    });
}

void RemoteClient::Connect() {
    if (socket_->GetState() == RemoteSocket::State::Unconnected) socket_->ConnectToHost(host_, port_);
}

void RemoteClient::Disconnect() {
    socket_->Abort();
}
