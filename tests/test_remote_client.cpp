// The remote client without windows, and the connection under it, against scripted servers on 127.0.0.1: what
// the socket reports and in which order (refused, closed, reset by the server, a name that does not resolve,
// an attempt given up), and the client's lines, actions, check for a running server and state.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <thread>

#include <sys/socket.h>

#include "remote/remote_client.h"
#include "remote/remote_socket.h"

namespace {

// What a socket reports, as words in order.
struct Events {
    QStringList seen;
    explicit Events(RemoteSocket& socket) {
        QObject::connect(&socket, &RemoteSocket::Connected, [this] { seen << "connected"; });
        QObject::connect(&socket, &RemoteSocket::ReadyRead,
                         [this, &socket] { seen << "read " + socket.ReadAll(); });
        QObject::connect(&socket, &RemoteSocket::Failed,
                         [this](int number) { seen << QStringLiteral("failed %1").arg(number); });
        QObject::connect(&socket, &RemoteSocket::Unconnected, [this] { seen << "unconnected"; });
    }
};

// A port on which nothing listens.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

// The server's side of the newest connection to it (the probe's come first and are dropped at once).
QTcpSocket* newestPeer(QTcpServer& server) {
    QTcpSocket* peer = nullptr;
    while (server.hasPendingConnections() || server.waitForNewConnection(200))
        peer = server.nextPendingConnection();
    return peer;
}

// A name that no resolver answers, refused before any query leaves the computer (a label of 64 letters).
const QString kUnresolvable = QString(64, u'a') + ".invalid";

}  // namespace

class RemoteClientTest : public QObject {
    Q_OBJECT

private slots:
    void socketReportsInOrder() {
        {  // refused: the failure comes from the event loop, then the state falls back
            RemoteSocket socket;
            Events events(socket);
            socket.ConnectToHost("127.0.0.1", closedPort());
            QCOMPARE(socket.GetState(), RemoteSocket::State::Connecting);
            QVERIFY(events.seen.isEmpty());
            QTRY_COMPARE(events.seen,
                         QStringList({QStringLiteral("failed %1").arg(ECONNREFUSED), "unconnected"}));
            QCOMPARE(socket.GetState(), RemoteSocket::State::Unconnected);
        }
        {  // a name that does not resolve
            RemoteSocket socket;
            Events events(socket);
            socket.ConnectToHost(kUnresolvable, 8765);
            QTRY_COMPARE_WITH_TIMEOUT(
                events.seen, QStringList({QStringLiteral("failed %1").arg(EHOSTUNREACH), "unconnected"}),
                10000);
        }
        for (const bool answered : {false, true}) {
            // Given up while the name is looked up, or after the answer came and before it was taken: nothing
            // more is reported.
            RemoteSocket socket;
            Events events(socket);
            socket.ConnectToHost(kUnresolvable, 8765);
            if (answered) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            socket.Abort();
            QTest::qWait(300);
            QCOMPARE(events.seen, QStringList{"unconnected"});
        }

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        for (const bool reset : {false, true}) {
            // A name, looked up off the UI thread; the server closes, then resets, the connection.
            RemoteSocket socket;
            Events events(socket);
            socket.ConnectToHost("localhost", server.serverPort());
            QTRY_VERIFY(server.hasPendingConnections());  // the name is looked up off this thread
            QTcpSocket* peer = server.nextPendingConnection();
            QTRY_COMPARE(socket.GetState(), RemoteSocket::State::Connected);
            peer->write("1 00 K R\n");
            peer->flush();
            QTRY_COMPARE(events.seen.size(), 2);
            if (reset) {  // a reset instead of an orderly close
                const linger abortive{1, 0};
                setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            }
            peer->close();
            QTRY_COMPARE(events.seen,
                         QStringList({"connected", "read 1 00 K R\n",
                                      QStringLiteral("failed %1").arg(ECONNRESET), "unconnected"}));
            delete peer;
        }
    }

    // The key table handed in, the click before a press's actions, the player keys held back while "Light
    // Alloy" runs.
    void keysToActions() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QStringList windows;
        RemoteClient client([&](const QString& title) { return windows.contains(title); });
        client.SetServer("127.0.0.1", server.serverPort());
        client.SetKeyTable({"", "PLAY", "NEXT", "", "", "", "", "", "MON"});
        QStringList seen;
        connect(&client, &RemoteClient::KeyPressed, this, [&] { seen << "click"; });
        connect(&client, &RemoteClient::Action, this,
                [&](RemoteAction action) { seen << QString::number(int(action)); });
        client.Connect();
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write("1 00 PLAY R\n2 0a MON R\n");
        peer->flush();
        const auto number = [](RemoteAction action) { return QString::number(int(action)); };
        QTRY_COMPARE(
            seen, QStringList({"click", number(RemoteAction::PlayPause), number(RemoteAction::MonitorOff)}));
        QCOMPARE(client.LastLine().code, "2");

        seen.clear();
        windows << "Light Alloy";
        client.SetKeyTable({"", "PLAY", "NEXT", "", "", "", "", "", "NEXT"});
        peer->write("3 00 NEXT R\n");
        peer->flush();
        QTRY_COMPARE(seen, QStringList({"click", number(RemoteAction::MonitorOn)}));
    }

    // Checks made meanwhile share one probe and are answered from the event loop; the reconnection stops once
    // a server runs; a reset by the server only changes the state shown; the server's window counts as
    // running.
    void connectionAndItsState() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QStringList windows;
        RemoteClient client([&](const QString& title) { return windows.contains(title); });
        client.SetServer("127.0.0.1", server.serverPort());
        QStringList seen;
        connect(&client, &RemoteClient::ConnectionShown, this,
                [&](bool connected) { seen << (connected ? "shown connected" : "shown disconnected"); });
        connect(&client, &RemoteClient::Notice, this, [&](const QString& text) { seen << "notice " + text; });
        connect(&client, &RemoteClient::Error, this, [&](const QString& text) { seen << "error " + text; });

        QList<bool> answers;
        client.CheckWinLircRunning([&](bool running) { answers << running; });
        client.CheckWinLircRunning([&](bool running) { answers << running; });
        QVERIFY(answers.isEmpty());
        QTRY_COMPARE(answers, QList<bool>({true, true}));
        QTest::qWait(100);
        int probes = 0;
        while (server.hasPendingConnections()) delete server.nextPendingConnection(), ++probes;
        QCOMPARE(probes, 1);

        client.StartReconnecting();
        QTRY_COMPARE_WITH_TIMEOUT(client.State(), RemoteSocket::State::Connected, 5000);
        QVERIFY(!client.Reconnecting());
        QTcpSocket* peer = newestPeer(server);
        const linger abortive{1, 0};
        setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        peer->close();
        QTRY_COMPARE(client.State(), RemoteSocket::State::Unconnected);
        QTest::qWait(100);
        QCOMPARE(seen, QStringList({"shown connected", "shown disconnected", "shown disconnected"}));

        server.close();
        windows << "WinLirc";
        client.CheckWinLircRunning([&](bool running) { answers << running; });
        QCOMPARE(answers.last(), true);
    }
};

QTEST_GUILESS_MAIN(RemoteClientTest)
#include "test_remote_client.moc"
