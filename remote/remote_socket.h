#pragma once

// A TCP connection as the remote's WinLIRC client uses it (the connection that carries the keys, and the
// probe that checks whether a server listens): a non-blocking socket of the system, driven by the event loop.
// A host name is looked up on a thread of its own, so that the UI thread never waits for it; a numeric
// address is used as it is.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include <sys/socket.h>

class QSocketNotifier;
class QTimer;

class RemoteSocket final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteSocket)

public:
    enum class State { Unconnected, Connecting, Connected };

    explicit RemoteSocket(QObject* parent = nullptr);
    // Closes without reporting: whoever listens is going away.
    ~RemoteSocket() override;

    // Starts connecting; what follows is reported from the event loop. Does nothing unless unconnected.
    void ConnectToHost(const QString& host, quint16 port);
    // Drops the connection, or the attempt, at once; what was not read is lost.
    void Abort();
    State GetState() const { return state_; }
    QByteArray ReadAll();

    // How long one address may take to answer before the next is tried.
    static constexpr int ConnectTimeout = 30'000;

    // One address of a host, as the system's connect takes it.
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };

signals:
    void Connected();
    void ReadyRead();
    // A connection that failed (every address of the host tried), or a fault on an open one: the system's
    // error number behind it. A name that does not resolve gives EHOSTUNREACH; a server that closes the
    // connection, or resets it, gives ECONNRESET. Reported before the state falls back.
    void Failed(int errorNumber);
    // Back to unconnected: after a failure, a close by the server, or Abort.
    void Unconnected();

private:
    struct Lookup;

    void tryAddresses(std::vector<Address> addresses, int lookupError);
    void tryNextAddress(int lastError);
    bool startNextAddress(int& lastError);
    void checkConnected();
    void readAvailable();
    void fail(int errorNumber);
    void closeSocket();

    State state_ = State::Unconnected;
    int fd_ = -1;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer* connectLimit_ = nullptr;
    std::vector<Address> addresses_;  // still to try, in the resolver's order
    std::shared_ptr<Lookup> lookup_;  // the name being looked up, if any
    QByteArray received_;
};
