// The player on the desktop's media controls: playerctl and dbus-send over a private session bus (run under
// dbus-run-session) drive it as media keys and a panel's media widget do, and read back what it plays and
// what it announces.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

#include "common/image_button.h"
#include "common/messages.h"
#include "player/media_controls.h"
#include "player/player.h"
#include "tests/support/http_file_server.h"
#include "tests/support/settings_file.h"
#include "tests/support/stream_checks.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

const QString kService = QString::fromLatin1(MediaControls::ServiceName);
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
constexpr int kBytesPerSecond = 8000 * 2;  // the tones: 8 kHz mono

// Runs a tool to its end while this program goes on answering the bus; its output, blanks simplified.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) process.kill();
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}
QString playerctl(const QStringList& arguments) {
    return run(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=varnex")} + arguments);
}
QStringList dbusSend(const QString& method, const QStringList& arguments) {
    return QStringList{"--session", "--print-reply", "--dest=" + kService, kPath, method} + arguments;
}
QString callObject(const QString& method, const QStringList& arguments = {}) {
    return run(QStringLiteral("dbus-send"), dbusSend(method, arguments));
}
QString canSeek() {
    return callObject("org.freedesktop.DBus.Properties.Get",
                      {"string:org.mpris.MediaPlayer2.Player", "string:CanSeek"});
}

// The message boxes on screen.
QList<QMessageBox*> openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) boxes << box;
    return boxes;
}

}  // namespace

class MediaControlsTest : public QObject {
    Q_OBJECT

    QProcess monitor_;  // what a desktop hears on the bus

    // Whether the monitor has heard `text` (as dbus-monitor writes it, blanks simplified) `times` times or
    // more.
    bool heard(const QString& text, int times = 1) {
        monitored_ += monitor_.readAllStandardOutput();
        return QString::fromUtf8(monitored_).simplified().count(text) >= times;
    }
    QByteArray monitored_;

private slots:
    void initTestCase() {
        monitor_.start("dbus-monitor", {"--session", "type='signal',path='" + kPath + "'"});
        QVERIFY(monitor_.waitForStarted(5000));
        qputenv("GSETTINGS_BACKEND", "memory");  // GLib's own settings stay off the bus
    }
    void cleanupTestCase() {
        monitor_.terminate();
        monitor_.waitForFinished(5000);
    }

    // playerctl and dbus-send on local streams, with the main window in the tray: media keys on an empty
    // playlist say so as the remote's do; play, pause (the button's announced too), seeks, next, previous,
    // stop and raise; the bus name goes with the program.
    void playerctlDrivesThePlayer() {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath("applications"));
        WriteFileBytes(data.filePath("applications/varnex.desktop"), "[Desktop Entry]\nType=Application\n");
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        HttpFileServer server;
        for (const char* name : {"/two%20words.wav", "/b.wav"})
            server.Add(name, tones::Wav(10.0, 8000, 1, 0.5, 0.5), "audio/wav");
        const QString first = QString::fromStdString(server.Url("/two%20words.wav")),
                      second = QString::fromStdString(server.Url("/b.wav"));
        messages::Recorder recorder;
        auto testApp = std::make_unique<TestApp>();
        TForm1& form = *testApp->app.Form1;
        Player& player = testApp->app.Playback();
        const QString root =
            callObject("org.freedesktop.DBus.Properties.GetAll", {"string:org.mpris.MediaPlayer2"});
        QVERIFY2(root.contains(R"("Identity" variant string "Varnex")") &&
                     root.contains(R"("DesktopEntry" variant string "varnex")"),
                 qPrintable(root));
        QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
        for (const char* key : {"play-pause", "next", "previous"}) playerctl({key});
        QTRY_COMPARE(recorder.texts(), QStringList(3, QStringLiteral("Плейлист пуст!")));
        recorder.clear();
        player.Playlist().Append({first, second});

        playerctl({"play"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));
        QCOMPARE(player.Playlist().CurrentRow(), 0);
        QCOMPARE(playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
                 first + "|two words|10000000");
        emit form.findChild<TImage2*>(QStringLiteral("btnPause"))->clicked();
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Paused")"));
        playerctl({"play-pause"});
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Playing")", 2));

        // Seeks go through the slider (the seek announced is its value) and move the stream.
        playerctl({"position", "5"});
        QTRY_VERIFY(heard("member=Seeked int64 5000000"));
        QVERIFY(position(player.Stream()) >= 5 * kBytesPerSecond);
        playerctl({"position", "2-"});
        QTRY_VERIFY(heard("member=Seeked int64 3", 1));  // 3 s and what has played since the first seek
        QVERIFY(position(player.Stream()) < 5 * kBytesPerSecond);

        playerctl({"next"});
        QTRY_VERIFY(heard(R"("xesam:url" variant string ")" + second));
        playerctl({"previous"});
        QTRY_VERIFY(heard(R"("xesam:url" variant string ")" + first, 2));

        // Stop pauses at the start of the track; past the last track playback stops and the track is gone.
        playerctl({"stop"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"));
        QCOMPARE(settledPosition(player.Stream()), std::int64_t{0});
        playerctl({"next"});
        playerctl({"next"});
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Stopped")"));
        QCOMPARE(playerctl({"metadata", "mpris:trackid"}),
                 QStringLiteral("'/org/mpris/MediaPlayer2/TrackList/NoTrack'"));

        // Raise brings the window back from the tray.
        QVERIFY(!form.isVisible());
        callObject("org.mpris.MediaPlayer2.Raise");
        QTRY_VERIFY(form.isVisible());
        QVERIFY(recorder.texts().isEmpty());
        testApp.reset();
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService));
        qunsetenv("XDG_DATA_HOME");
    }

    // Seeks as the desktop may send them: offsets to the ends of the 64-bit range go to the next track or
    // the start; a track id that is no longer playing is ignored; a stream that cannot seek (its server
    // serves no byte ranges) says so in CanSeek when it starts, and is not moved.
    void seeksStayWithinWhatTheStreamCan() {
        HttpFileServer server, wholeFilesOnly;
        wholeFilesOnly.SetRangesHonoured(false);
        server.Add("/a.wav", tones::Wav(10.0, 8000, 1, 0.5, 0.5), "audio/wav");
        server.Add("/b.wav", tones::Wav(10.0, 8000, 1, 0.5, 0.5), "audio/wav");
        wholeFilesOnly.Add("/c.wav", tones::Wav(10.0, 8000, 1, 0.5, 0.5), "audio/wav");
        const QString second = QString::fromStdString(server.Url("/b.wav")),
                      third = QString::fromStdString(wholeFilesOnly.Url("/c.wav"));
        messages::Recorder recorder;
        auto testApp = std::make_unique<TestApp>();
        Player& player = testApp->app.Playback();
        player.Playlist().Append({QString::fromStdString(server.Url("/a.wav")), second, third});
        playerctl({"play"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));
        QVERIFY(canSeek().endsWith("variant boolean true"));
        const QString firstTrack = playerctl({"metadata", "mpris:trackid"}).remove(QLatin1Char('\''));

        // Past the end is the next track itself, not a seek to the end that the advance would take on.
        player.findChild<QTimer*>(QStringLiteral("TimerNextSong"))->stop();
        callObject("org.mpris.MediaPlayer2.Player.Seek", {"int64:9223372036854775807"});
        QTRY_VERIFY(heard("\"xesam:url\" variant string \"" + second));
        QCOMPARE(player.Playlist().CurrentRow(), 1);
        QTRY_VERIFY(position(player.Stream()) > kBytesPerSecond / 2);
        heard({});
        const int seeks = monitored_.count("member=Seeked");
        callObject("org.mpris.MediaPlayer2.Player.Seek", {"int64:-9223372036854775808"});
        QTRY_VERIFY(heard("member=Seeked int64 0"));
        QVERIFY(position(player.Stream()) < kBytesPerSecond / 2);
        callObject("org.mpris.MediaPlayer2.Player.SetPosition", {"objpath:" + firstTrack, "int64:8000000"});
        QTest::qWait(300);
        QVERIFY(position(player.Stream()) < 2 * kBytesPerSecond);

        // What the desktop was told last, and what it reads, once the third track plays.
        playerctl({"next"});
        QTRY_VERIFY(heard("\"xesam:url\" variant string \"" + third));
        QTRY_VERIFY(position(player.Stream()) > 0);
        QVERIFY(canSeek().endsWith("variant boolean false"));
        heard({});
        const QString told = QString::fromUtf8(monitored_).simplified();
        QVERIFY(told.mid(told.lastIndexOf("\"CanSeek\" variant boolean"))
                    .startsWith("\"CanSeek\" variant boolean false"));
        callObject("org.mpris.MediaPlayer2.Player.Seek", {"int64:5000000"});
        playerctl({"position", "7"});
        QTest::qWait(300);
        QVERIFY(position(player.Stream()) < 3 * kBytesPerSecond);
        heard({});
        QCOMPARE(monitored_.count("member=Seeked"), seeks + 1);  // only the seek to the start
        QVERIFY(recorder.texts().isEmpty());
    }

    // Media keys on an empty playlist, pressed again while the first one's box is open: one box at a time,
    // as with the window's own buttons behind a modal box.
    void emptyPlaylistBoxesDoNotStack() {
        auto testApp = std::make_unique<TestApp>();
        std::vector<std::unique_ptr<QProcess>> presses;
        int shown = 0, most = 0, open = 0;
        QElapsedTimer sinceAnswered;
        // Watches the boxes from inside their own event loops, and closes them once every press has been
        // answered and has had time to act.
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            const QList<QMessageBox*> boxes = openBoxes();
            shown += std::max<int>(0, boxes.size() - open);
            open = boxes.size();
            most = std::max(most, open);
            const bool answered = std::all_of(presses.begin(), presses.end(),
                                              [](auto& p) { return p->state() == QProcess::NotRunning; });
            if (answered && !sinceAnswered.isValid()) sinceAnswered.start();
            if (answered && sinceAnswered.elapsed() > 500 && !boxes.isEmpty()) boxes.last()->accept();
        });
        watch.start(20);
        for (const char* method : {"Next", "Next", "PlayPause", "Next"}) {
            presses.push_back(std::make_unique<QProcess>());
            presses.back()->start("dbus-send",
                                  dbusSend(QStringLiteral("org.mpris.MediaPlayer2.Player.") + method, {}));
        }
        QTRY_VERIFY_WITH_TIMEOUT(sinceAnswered.isValid() && sinceAnswered.elapsed() > 1000 && open == 0,
                                 15000);
        QCOMPARE(most, 1);
        QCOMPARE(shown, 1);

        // Once it is closed, the next press says so again.
        playerctl({"next"});
        QTRY_COMPARE(shown, 2);
        QTRY_COMPARE(open, 0);
    }
};

VARNEX_TEST_MAIN(MediaControlsTest)
#include "test_media_controls.moc"
