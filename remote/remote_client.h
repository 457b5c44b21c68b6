#pragma once

// The remote control's client: the connection to the WinLIRC server (by hand, or as soon as the server runs),
// the check whether a server runs, the key lines read from the connection and the key table that turns them
// into actions. It shows nothing: it announces the actions, the connection's state and its messages as
// signals, and whoever owns the windows acts on them.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "remote/remote_socket.h"
#include "remote/winlirc.h"

class QTimer;

class RemoteClient final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteClient)

public:
    // Whether a top-level window with the title exists (the server "WinLirc", the video player "Light
    // Alloy").
    using WindowExists = std::function<bool(const QString& title)>;
    // Runs the handling of one key line, or of one answer of the check (the program's handler wrapper).
    using Guard = std::function<void(const std::function<void()>&)>;

    // How long the check for a server on the port may take; on this computer a refusal comes at once.
    static constexpr int ProbeTimeout = 300;
    // How often a server is looked for while waiting for one to run.
    static constexpr int ReconnectInterval = 1000;

    explicit RemoteClient(WindowExists windowExists, Guard guard = {}, QObject* parent = nullptr);
    ~RemoteClient() override;

    // The server: "localhost" at port 8765 unless set.
    void SetServer(const QString& host, quint16 port);
    QString Host() const { return host_; }
    quint16 Port() const { return port_; }

    // The names of the keys, by the number of the settings box they are typed in (LEdit0 .. LEdit9; boxes 1
    // to 8 are the key table, see RunKeyTable). Missing boxes are empty.
    void SetKeyTable(const QStringList& boxes);

    RemoteSocket::State State() const { return socket_->GetState(); }
    // The fields of the last key line read.
    const LircFields& LastLine() const { return last_; }

    // Whether WinLIRC runs, handed to `then`: at once when its window exists, otherwise when a probe of the
    // server's port connects or fails (at most ProbeTimeout later); the caller never waits for it. Every
    // check made meanwhile gets the one probe's answer.
    void CheckWinLircRunning(std::function<void(bool running)> then);

    // Looks for a running server every ReconnectInterval and connects once one runs.
    void StartReconnecting();
    bool Reconnecting() const;
    // One look: connects when the server runs, and stops looking.
    void Timer2Timer();

    // Connects or disconnects, as the connection's own state says. When no server runs, says so.
    void ToggleConnection();
    // Connects unless connected or connecting; the state texts are not changed.
    void Connect();
    // Drops the connection at once.
    void Disconnect();

signals:
    // A key line's action, each in the key table's order.
    void Action(RemoteAction action);
    // A key line that is a press (repeat count "00"), before its actions.
    void KeyPressed();
    // What the settings window's WinLIRC row shows: connected or not.
    void ConnectionShown(bool connected);
    // A message for the user: a notice ("WinLirc не запущен!") or, from the event loop, a socket error.
    void Notice(const QString& text);
    void Error(const QString& text);

private:
    void csRead();
    void DispatchLircLine(const QByteArray& line);
    void answerProbe(bool running);

    WindowExists windowExists_;
    Guard guard_;
    QString host_ = QStringLiteral("localhost");
    quint16 port_ = 8765;
    QStringList boxes_;
    RemoteSocket* socket_;
    QTimer* reconnect_;
    bool connected_ = false;  // the connection was made and has not yet fallen back
    LircLineReader reader_;   // made anew for each connection
    LircFields last_;
    RemoteSocket* probe_;
    QTimer* probeLimit_;
    QList<std::function<void(bool running)>> probeWaiters_;  // answered together by one probe
};
