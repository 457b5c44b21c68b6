// The remote end to end: a real lircd with keys injected by irsend, a scripted server where byte timing
// matters, the actions reaching a fake desktop, the power actions against Xvfb and a stand-in logind on a
// private bus, and the window lookup with and without a window manager.

#include <QDBusConnection>
#include <QDBusContext>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "app/main_window.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "platform/fake/fake_desktop.h"
#include "platform/x11/x11_windows.h"
#include "player/player.h"
#include "remote/click_sound.h"
#include "remote/remote_client.h"
#include "remote/shutdown_window.h"
#include "settings/settings.h"
#include "settings/settings_window.h"
#include "tests/support/main_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#undef Bool  // Xlib's names that are also Qt's or the program's
#undef Button4

namespace {

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

// A process that the test starts and always ends, within seconds.
struct Child : QProcess {
    ~Child() override {
        terminate();
        if (!waitForFinished(5000)) kill(), waitForFinished(1000);
    }
};

// A real lircd on 127.0.0.1:port; keys are injected with irsend SIMULATE.
struct Lircd {
    QTemporaryDir dir;
    Child process;
    explicit Lircd(quint16 port) {
        WriteFileBytes(dir.filePath("opts.conf"), "[lircd]\nnodaemon = True\n");
        WriteFileBytes(dir.filePath("lircd.conf"),
                       "begin remote\n name TESTREMOTE\n bits 16\n begin codes\n"
                       "  KEY_PLAY 0x1\n end codes\nend remote\n");
        process.start("lircd",
                      {"-O", dir.filePath("opts.conf"), "--nodaemon", "--driver=file", "--device=/dev/null",
                       "--output=" + dir.filePath("sock"), "--pidfile=" + dir.filePath("pid"),
                       "--logfile=" + dir.filePath("log"), QStringLiteral("--listen=127.0.0.1:%1").arg(port),
                       "--allow-simulate", dir.filePath("lircd.conf")});
    }
    void Send(const QString& repeat, const QString& key) {
        QCOMPARE(QProcess::execute("irsend", {"-d", dir.filePath("sock"), "SIMULATE",
                                              "0000000000000001 " + repeat + " " + key + " TESTREMOTE"}),
                 0);
    }
};

// The stand-in for systemd-logind: answers CanPowerOff and records PowerOff.
class Logind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QString canPowerOff = "yes";
    int asked = 0;
    QList<bool> powerOffs;

public slots:
    QString CanPowerOff() { return ++asked, canPowerOff; }
    void PowerOff(bool interactive) {
        powerOffs << interactive;
        sendErrorReply(QDBusError::AccessDenied, "refused, as an inhibitor would");
    }
};

Window parentOf(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, window, &root, &parent, &children, &count);
    return XFree(children), parent;
}

// A window titled by _NET_WM_NAME (UTF-8) or by WM_NAME.
Window titledWindow(Display* display, const QByteArray& title, bool netWmName) {
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 40, 40, 0, 0, 0);
    XChangeProperty(display, window, netWmName ? XInternAtom(display, "_NET_WM_NAME", False) : XA_WM_NAME,
                    netWmName ? XInternAtom(display, "UTF8_STRING", False) : XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.constData()), int(title.size()));
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

bool screenSaverOn() {
    XScreenSaverInfo info{};
    XScreenSaverQueryInfo(RemoteDisplay(), DefaultRootWindow(RemoteDisplay()), &info);
    return info.state == ScreenSaverOn;
}

QStringList winLircTexts(const App& app) {
    return {app.Form2->Label4->text(), app.Form2->Button6->text()};
}
const QStringList kConnected{"WinLirc подключен", "отключиться"};
const QStringList kDisconnected{"WinLirc отключен", "подключиться"};

// The remote's keys as "Сохранить изменения" hands them over: the settings box's number and the key's name.
void SaveKeys(App& app, const QList<std::pair<int, QString>>& keys) {
    GeneralSettings general = app.AppSettings().General();
    for (const auto& [box, key] : keys) general.edits[box] = key;
    app.AppSettings().SaveGeneral(general);
}

}  // namespace

class RemoteTest : public QObject {
    Q_OBJECT

    Child bus_;
    Logind logind_;

private slots:
    void initTestCase() {
        bus_.start("dbus-daemon", {"--config-file=/usr/share/dbus-1/session.conf", "--nofork",
                                   "--address=unix:tmpdir=/tmp", "--print-address=1"});
        QVERIFY(bus_.waitForReadyRead(5000));
        const QByteArray address = bus_.readLine().trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        QDBusConnection standIn = QDBusConnection::connectToBus(QString::fromUtf8(address), "stand-in");
        QVERIFY(standIn.registerService("org.freedesktop.login1"));
        QVERIFY(standIn.registerObject("/org/freedesktop/login1", &logind_, QDBusConnection::ExportAllSlots));
    }

    // Automatic connection, every key of the table through a real lircd, the click sound, the state texts.
    void keysFromARealLircd() {
        const quint16 port = freePort();
        qputenv("VARNEX_WINLIRC_PORT", QByteArray::number(port));
        messages::Recorder recorder;
        TestApp testApp;
        App& app = testApp.app;
        TForm1& form = *app.Form1;
        RemoteClient& remote = app.Remote();
        const QStringList keys{"KEY_PLAY",  "KEY_NEXT",  "KEY_PREVIOUS", "KEY_RED",
                               "KEY_GREEN", "KEY_POWER", "KEY_EXIT",     "KEY_SCREEN"};
        QList<std::pair<int, QString>> table;
        for (int box = 1; box <= 8; ++box) table.append({box, keys[box - 1]});
        SaveKeys(app, table);
        for (const QString name : {"/1.wav", "/2.wav"}) {
            WriteFileBytes(testApp.folder.path() + name,
                           QByteArray::fromStdString(tones::Wav(30, 8000, 1, .5, .5)));
            app.Playback().Playlist().Append({testApp.folder.path() + name});
        }
        PseudoTerminal board;
        app.Light().OpenPort(board.slavePath());
        form.SetKeySound(true);  // no sound.wav here: the bell instead
        int clicks = 0, presses = 0;
        connect(form.findChild<ClickSound*>("KeyClick"), &ClickSound::Started, this,
                [&](bool fromFile) { clicks += fromFile ? 100 : 1; });

        remote.StartReconnecting();
        QTest::qWait(2000);
        QCOMPARE(winLircTexts(app), kDisconnected);
        Lircd lircd(port);
        QTRY_COMPARE_WITH_TIMEOUT(remote.State(), RemoteSocket::State::Connected, 5000);
        QVERIFY(!remote.Reconnecting());
        QCOMPARE(winLircTexts(app), kConnected);

        // What the keys change, as one text: the last line's repeat count and key, then playing (P), the
        // question (Q), the screen saver (S), AmbiLight (A), colour music and its timer (C, V), the row and
        // the PowerOffs.
        const auto state = [&] {
            const auto is = [](bool on, char letter) { return QString(1, on ? letter : '-'); };
            return remote.LastLine().repeat + remote.LastLine().key + ' ' +
                   is(form.findChild<TImage2*>("btnPlay")->isHidden(), 'P') +
                   is(app.Form3->isVisible(), 'Q') + is(screenSaverOn(), 'S') +
                   is(app.Light().AmbiLightOn(), 'A') + is(app.Light().ColourMusicOn(), 'C') +
                   is(app.Light().findChild<QTimer*>(QStringLiteral("TVisual1"))->isActive(), 'V') +
                   QStringLiteral(" row %1 off %2")
                       .arg(app.Playback().Playlist().CurrentRow())
                       .arg(logind_.powerOffs.size());
        };
        // Held to 0a (and on), the shutdown key asks; its next press shuts down (refused: the question
        // stays); cancel hides the question. A "Light Alloy" window blocks the player keys alone: AmbiLight
        // still starts. A long press of the monitor key switches it off, a short one on.
        QStringList hold;
        for (int repeat = 0; repeat <= 11; ++repeat) hold << QString::asprintf("%02x KEY_POWER", repeat);
        const struct {
            bool lightAlloy;
            QStringList lines;
            QString state;
        } steps[] = {
            {false, {"00 KEY_PLAY"}, "00KEY_PLAY P----- row 0 off 0"},
            {false, {"01 KEY_PLAY", "00 KEY_PLAY"}, "00KEY_PLAY ------ row 0 off 0"},
            {false, {"00 KEY_NEXT"}, "00KEY_NEXT P----- row 1 off 0"},
            {false, {"00 KEY_PREVIOUS"}, "00KEY_PREVIOUS P----- row 0 off 0"},
            {false, hold, "0bKEY_POWER PQ---- row 0 off 0"},
            {false, {"00 KEY_POWER"}, "00KEY_POWER PQ---- row 0 off 1"},
            {false, {"00 KEY_EXIT", "00 KEY_POWER"}, "00KEY_POWER P----- row 0 off 1"},
            {true, {"00 KEY_NEXT"}, "00KEY_NEXT P----- row 0 off 1"},
            {true,
             {"00 KEY_PLAY", "00 KEY_PREVIOUS", "00 KEY_RED", "00 KEY_GREEN"},
             "00KEY_GREEN P--A-- row 0 off 1"},
            {true, {"0a KEY_SCREEN"}, "0aKEY_SCREEN P-SA-- row 0 off 1"},
            {false, {"00 KEY_SCREEN"}, "00KEY_SCREEN P--A-- row 0 off 1"},
            {false, {"00 KEY_GREEN"}, "00KEY_GREEN P----- row 0 off 1"},
            {false, {"00 KEY_RED"}, "00KEY_RED P---CV row 0 off 1"},
            {false, {"00 KEY_RED"}, "00KEY_RED P----- row 0 off 1"},
        };
        Window player = 0;
        for (const auto& step : steps) {
            if (step.lightAlloy != bool(player))
                player = step.lightAlloy ? titledWindow(RemoteDisplay(), "Light Alloy", false)
                                         : (XDestroyWindow(RemoteDisplay(), player), 0);
            for (const QString& line : step.lines)
                presses += line.startsWith("00"), lircd.Send(line.first(2), line.sliced(3));
            QTRY_COMPARE(state(), step.state);
        }
        QVERIFY(board.read().startsWith("P1 S0 A0"));  // AmbiLight's all-off command first
        QCOMPARE(clicks, presses);
        QVERIFY(recorder.shown().isEmpty());

        // The check for a running server does not wait: the texts change once the probe of the port answers.
        app.Form2->Button6->click();
        QCOMPARE(winLircTexts(app), kConnected);
        QTRY_COMPARE(winLircTexts(app), kDisconnected);
        QCOMPARE(remote.State(), RemoteSocket::State::Unconnected);
        app.Form2->Button6->click();
        QTRY_COMPARE(winLircTexts(app), kConnected);
        QTRY_COMPARE(remote.State(), RemoteSocket::State::Connected);
        // The server quits: the texts follow it, silently; afterwards the button says it is not running.
        lircd.process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(winLircTexts(app), kDisconnected, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lircd.process.state(), QProcess::NotRunning, 5000);
        app.Form2->Button6->click();
        QTRY_COMPARE(recorder.texts(), QStringList{"WinLirc не запущен!"});
    }

    // Lines as the bytes come: a half line that stalls, two lines in one packet, 1 MB without a line end,
    // a server that closes inside a block and half a line, then closing, and a connection refused.
    void scriptedServer() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        TestApp testApp;
        RemoteClient& remote = testApp.app.Remote();
        SaveKeys(testApp.app, {{1, "PLAY"}, {6, "OFF"}});  // the playlist is empty: each press says so
        remote.SetServer("127.0.0.1", server.serverPort());
        remote.Connect();
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* peer = server.nextPendingConnection();
        const auto sendNow = [&peer](const QByteArray& bytes) { peer->write(bytes), peer->flush(); };

        // While one key's message box is open, the next key still acts.
        bool sent = false, actedBehindBox = false;
        int ticks = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (box && !std::exchange(sent, true)) sendNow("1 0a OFF R\n");
            actedBehindBox = testApp.app.Form3->isVisible();
            if (box && (actedBehindBox || ++ticks > 250)) box->close();  // at the latest after 5 s
        });
        poll.start(20);
        sendNow("1 00 PLAY R\n");
        QTRY_VERIFY_WITH_TIMEOUT(actedBehindBox, 10000);

        messages::Recorder recorder;
        const auto pressesShown = [&] { return recorder.texts().count("Плейлист пуст!"); };

        sendNow("1 00 PL");
        QTest::qWait(300);
        QCOMPARE(pressesShown(), 0);
        sendNow("AY R\n");
        QTRY_COMPARE(pressesShown(), 1);
        sendNow("1 00 PLAY R\n2 00 PLAY R\n");
        QTRY_COMPARE(pressesShown(), 3);
        sendNow(QByteArray(1 << 20, 'x') + "\n3 00 PLAY R\n");
        QTRY_COMPARE(pressesShown(), 4);
        const LircFields& last = remote.LastLine();
        QCOMPARE(QStringList({last.code, last.repeat, last.key, last.rest}),
                 QStringList({"3", "00", "PLAY", "R"}));

        // The server goes away inside a block, half a line in: the next connection reads afresh.
        sendNow("BEGIN\n1 00 OF");
        peer->close();
        QTRY_COMPARE(remote.State(), RemoteSocket::State::Unconnected);
        remote.Connect();
        QVERIFY(server.waitForNewConnection(5000));
        peer = server.nextPendingConnection();
        sendNow("4 00 PLAY R\n");
        QTRY_COMPARE(pressesShown(), 5);

        emit remote.ConnectionShown(true);
        peer->close();
        QTRY_COMPARE(winLircTexts(testApp.app), kDisconnected);
        server.close();
        emit remote.ConnectionShown(true);
        remote.Connect();
        QTRY_COMPARE(recorder.texts().size(), 6);
        QCOMPARE(recorder.shown().last(),
                 (messages::Shown{messages::Kind::Error, "Asynchronous socket error 111"}));
        QCOMPARE(winLircTexts(testApp.app), kDisconnected);
    }

    // The program ends while connected, with AmbiLight, colour music and an open under way: all of it stops
    // quietly, the main window's socket before the windows it writes to.
    void endsWhileConnected() {
        QTcpServer server;  // the remote's server, and a stream that never answers
        QVERIFY(server.listen(QHostAddress::LocalHost));
        PseudoTerminal board;
        auto testApp = std::make_unique<TestApp>();
        RemoteClient& remote = testApp->app.Remote();
        testApp->app.Remote().SetServer("127.0.0.1", server.serverPort());
        testApp->app.Remote().Connect();
        QTRY_COMPARE(testApp->app.Remote().State(), RemoteSocket::State::Connected);
        testApp->app.Light().OpenPort(board.slavePath());
        emit remote.Action(RemoteAction::AmbiLight);
        emit remote.Action(RemoteAction::ColourMusic);
        testApp->app.Playback().Playlist().Append(
            {QStringLiteral("http://127.0.0.1:%1/radio").arg(server.serverPort())});
        emit remote.Action(RemoteAction::PlayPause);
        QVERIFY(testApp->app.Light().AmbiLightOn() && testApp->app.Light().ColourMusicOn() &&
                testApp->app.Playback().Opening());
        messages::Recorder recorder;
        testApp.reset();
        QTest::qWait(100);  // what the windows left queued, if anything
        QVERIFY(recorder.shown().isEmpty());
    }

    // Through the program's wiring, the keys reach the desktop it was given: the bell for a click where no
    // sound.wav is, the display's power, the question framed as a tool window, the power-off only while it
    // shows; a "Light Alloy" window holds the player keys back, and they act once it is gone.
    void actionsReachTheDesktop() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTemporaryDir folder;
        auto made = std::make_unique<FakeDesktop>();
        FakeDesktop& desktop = *made;
        App app(folder.path(), std::move(made));
        app.Form1->SetKeySound(true);
        SaveKeys(app, {{1, "PLAY"}, {6, "OFF"}, {8, "MON"}});  // the playlist is empty: a press says so
        app.Remote().SetServer("127.0.0.1", server.serverPort());
        app.Remote().Connect();
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* peer = server.nextPendingConnection();
        desktop.windows << "Light Alloy";
        desktop.calls.clear();
        messages::Recorder recorder;
        peer->write("1 0a MON R\n1 00 MON R\n1 00 OFF R\n1 0a OFF R\n1 00 OFF R\n1 00 PLAY R\n");
        peer->flush();
        QTRY_COMPARE(desktop.calls, QStringList({"MonitorOff", "Bell", "MonitorWake", "Bell", "MakeToolFrame",
                                                 "Bell", "PowerOff", "Bell", "WindowExists Light Alloy"}));
        QVERIFY(app.Form3->isVisible());
        QVERIFY(recorder.shown().isEmpty());
        desktop.windows.clear();
        peer->write("1 00 PLAY R\n");
        peer->flush();
        QTRY_COMPARE(recorder.texts(), QStringList{"Плейлист пуст!"});
    }

    void powerAndConfirmation() {
        TestApp testApp;
        const MainControlsOf form(*testApp.app.Form1);
        RemoteClient& remote = testApp.app.Remote();
        form.Button4->setEnabled(false);
        form.N9->trigger();
        QTRY_VERIFY(screenSaverOn());
        emit remote.Action(RemoteAction::MonitorOn);
        QTRY_VERIFY(!screenSaverOn());

        // logind says no: no PowerOff; then "challenge": one interactive PowerOff, which polkit would ask
        // for.
        const QList<bool> before = logind_.powerOffs;
        logind_.canPowerOff = "no";
        emit remote.Action(RemoteAction::ShowShutdownWindow);
        emit remote.Action(RemoteAction::ShutDown);
        QTRY_COMPARE(logind_.asked, 2);
        logind_.canPowerOff = "challenge";
        emit remote.Action(RemoteAction::ShutDown);
        QTRY_COMPARE(logind_.powerOffs, before + QList<bool>{true});
        emit remote.Action(RemoteAction::HideShutdownWindow);

        TForm3& question = *testApp.app.Form3;
        QCOMPARE(QVariantList({question.size(), question.Label1->geometry(), question.Label1->text(),
                               question.Label1->font().pixelSize(), question.windowTitle()}),
                 QVariantList({QSize(963, 436), QRect(0, 0, 963, 436), "Выключить компьютер?", 67, ""}));
        QVERIFY(question.windowFlags().testFlags(Qt::Tool | Qt::WindowStaysOnTopHint));
        QVERIFY((question.geometry().center() - QGuiApplication::primaryScreen()->geometry().center())
                    .manhattanLength() <= 1);
        question.show();
        QVERIFY(QTest::qWaitForWindowExposed(&question));
        // The window manager finds no caption, where Qt would give it the program's name.
        QCOMPARE(WindowTitle(RemoteDisplay(), question.winId()), QString());
        QTest::keyClick(&question, Qt::Key_A);
        QVERIFY(question.isVisible());
        QTest::keyClick(&question, Qt::Key_Escape);
        QVERIFY(!question.isVisible());
        question.show();
        QVERIFY(question.close() && !question.isVisible());
    }

    void windowLookupWithAndWithoutWindowManager() {
        const Window plain = titledWindow(RemoteDisplay(), "WinLirc", false);
        QVERIFY(TopLevelWindowExists("WinLirc"));
        QVERIFY(!TopLevelWindowExists("WinLir"));
        XDestroyWindow(RemoteDisplay(), plain);
        QVERIFY(!TopLevelWindowExists("WinLirc"));

        // Under openbox on a display of its own, the windows go into the manager's frames.
        Child xvfb, openbox;
        xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
        QVERIFY(xvfb.waitForReadyRead(10000));
        const QByteArray name = ":" + xvfb.readLine().trimmed();
        openbox.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + name);
        openbox.start("openbox", {"--sm-disable"});
        Display* display = XOpenDisplay(name.constData());
        QVERIFY(display);
        const Window byNetName = titledWindow(display, "WinLirc", true);
        titledWindow(display, "Light Alloy", false);
        QTRY_VERIFY_WITH_TIMEOUT(parentOf(display, byNetName) != DefaultRootWindow(display), 10000);
        // The manager lists a window in _NET_CLIENT_LIST a moment after it has put it in a frame.
        QTRY_VERIFY_WITH_TIMEOUT(TopLevelWindowExists(display, "WinLirc"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(TopLevelWindowExists(display, "Light Alloy"), 10000);
        QVERIFY(!TopLevelWindowExists(display, "Varnex"));
        XCloseDisplay(display);
    }
};

VARNEX_TEST_MAIN(RemoteTest)
#include "test_remote.moc"
