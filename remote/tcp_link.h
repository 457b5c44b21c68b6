#pragma once

// A TCP connection as the remote's WinLIRC client uses it: connect to a port of a host, read what arrives,
// abort. Qt's network library, with the Kerberos and proxy libraries it brings, lives in a module of its own
// (varnex_net.so, beside the executable) that RemoteSocket loads the first time it connects, so that a start
// which connects to no server loads none of them.

#include <QByteArray>
#include <QString>
#include <functional>

class TcpLink {
public:
    enum class State { Unconnected, Connecting, Connected };

    // What the connection reports, each from the event loop, in the order it happens.
    struct Events {
        std::function<void()> connected;
        std::function<void()> readyRead;
        // A connection that failed, or a fault on an open one: the system's error number behind it. A server
        // that closes the connection, or resets it, gives ECONNRESET. Reported before the state falls back.
        std::function<void(int errorNumber)> failed;
        // Back to unconnected: after a failure, a close by the server, or Abort.
        std::function<void()> unconnected;
    };

    virtual ~TcpLink() = default;
    // Starts connecting; a name is looked up first, without waiting for it here.
    virtual void ConnectToHost(const QString& host, quint16 port) = 0;
    // Drops the connection, or the attempt, at once; what was not read is lost.
    virtual void Abort() = 0;
    virtual State GetState() const = 0;
    virtual QByteArray ReadAll() = 0;
};

// The module's one entry point, resolved by name.
extern "C" using CreateTcpLinkFunction = TcpLink * (TcpLink::Events events);
inline constexpr char CreateTcpLinkSymbol[] = "VarnexCreateTcpLink";
inline constexpr char TcpLinkModule[] = "varnex_net.so";
