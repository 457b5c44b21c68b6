// The player on the desktop's media controls: playerctl and dbus-send over a private session bus (run under
// dbus-run-session) drive it as media keys and a panel's media widget do, and read back what it plays and
// what it announces.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QListWidget>
#include <QProcess>

#include "app/messages.h"
#include "player/media_controls.h"
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
QString callRoot(const QString& method, const QStringList& arguments = {}) {
    return run(QStringLiteral("dbus-send"),
               QStringList{"--session", "--print-reply", "--dest=" + kService, kPath, method} + arguments);
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
        const QString root =
            callRoot("org.freedesktop.DBus.Properties.GetAll", {"string:org.mpris.MediaPlayer2"});
        QVERIFY2(root.contains(R"("Identity" variant string "Varnex")") &&
                     root.contains(R"("DesktopEntry" variant string "varnex")"),
                 qPrintable(root));
        QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
        for (const char* key : {"play-pause", "next", "previous"}) playerctl({key});
        QTRY_COMPARE(recorder.texts(), QStringList(3, QStringLiteral("Плейлист пуст!")));
        recorder.clear();
        form.PlayList->addItems({first, second});

        playerctl({"play"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));
        QCOMPARE(form.PlayList->currentRow(), 0);
        QCOMPARE(playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
                 first + "|two words|10000000");
        form.btnPauseClick();
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Paused")"));
        playerctl({"play-pause"});
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Playing")", 2));

        // Seeks go through the slider (the seek announced is its value) and move the stream.
        playerctl({"position", "5"});
        QTRY_VERIFY(heard("member=Seeked int64 5000000"));
        QVERIFY(position(form.StreamHandle) >= 5 * kBytesPerSecond);
        playerctl({"position", "2-"});
        QTRY_VERIFY(heard("member=Seeked int64 3", 1));  // 3 s and what has played since the first seek
        QVERIFY(position(form.StreamHandle) < 5 * kBytesPerSecond);

        playerctl({"next"});
        QTRY_VERIFY(heard(R"("xesam:url" variant string ")" + second));
        playerctl({"previous"});
        QTRY_VERIFY(heard(R"("xesam:url" variant string ")" + first, 2));

        // Stop pauses at the start of the track; past the last track playback stops and the track is gone.
        playerctl({"stop"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"));
        QCOMPARE(settledPosition(form.StreamHandle), std::int64_t{0});
        playerctl({"next"});
        playerctl({"next"});
        QTRY_VERIFY(heard(R"("PlaybackStatus" variant string "Stopped")"));
        QCOMPARE(playerctl({"metadata", "mpris:trackid"}),
                 QStringLiteral("'/org/mpris/MediaPlayer2/TrackList/NoTrack'"));

        // Raise brings the window back from the tray.
        QVERIFY(!form.isVisible());
        callRoot("org.mpris.MediaPlayer2.Raise");
        QTRY_VERIFY(form.isVisible());
        QVERIFY(recorder.texts().isEmpty());
        testApp.reset();
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService));
        qunsetenv("XDG_DATA_HOME");
    }
};

VARNEX_TEST_MAIN(MediaControlsTest)
#include "test_media_controls.moc"
