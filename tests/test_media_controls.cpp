// The player on the desktop's media controls: playerctl and dbus-send over a private session bus drive it as
// media keys and a panel's media widget do, and read back what it plays and what it announces.

#include <gio/gio.h>  // before Qt, whose "signals" it uses as a name

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QListWidget>
#include <QProcess>

#include "app/messages.h"
#include "app/skin_slider.h"
#include "player/media_controls.h"
#include "tests/support/http_file_server.h"
#include "tests/support/settings_file.h"
#include "tests/support/stream_checks.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

const QString kService = QString::fromLatin1(MediaControls::ServiceName);
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kNoTrack =
    QStringLiteral("'/org/mpris/MediaPlayer2/TrackList/NoTrack'");  // as playerctl shows it
constexpr int kBytesPerSecond = 8000 * 2;                           // the tones: 8 kHz mono

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
QString rootProperties() {
    return callRoot("org.freedesktop.DBus.Properties.GetAll", {"string:org.mpris.MediaPlayer2"});
}

// What the desktop hears: the status, the track's URL and the position of a seek, as last announced.
class Announcements : public QObject {
    Q_OBJECT

public:
    QString status, url, seek;

public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&) {
        if (properties.contains("PlaybackStatus")) status = properties["PlaybackStatus"].toString();
        if (properties.contains("Metadata"))
            url = qdbus_cast<QVariantMap>(properties["Metadata"]).value("xesam:url").toString();
    }
    void seeked(qlonglong position) { seek = QString::number(position); }
};

}  // namespace

class MediaControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir busFolder_;
    QProcess bus_;
    Announcements announced_;

private slots:
    // A session bus of the test's own, in place before anything in this program asks for one, and a
    // listener on a connection of its own.
    void initTestCase() {
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                   "--address=unix:path=" + busFolder_.filePath("bus")});
        QVERIFY(bus_.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(bus_.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QDBusConnection listener = QDBusConnection::connectToBus(address, "listener");
        listener.connect({}, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", &announced_,
                         SLOT(changed(QString, QVariantMap, QStringList)));
        listener.connect({}, kPath, "org.mpris.MediaPlayer2.Player", "Seeked", &announced_,
                         SLOT(seeked(qlonglong)));
        // GLib's own connection to the session bus (GSettings reads the proxy settings for GStreamer over
        // it) ends the process when the bus goes away, as at the end of a desktop session; this bus goes
        // away before the test does.
        GDBusConnection* glibBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        QVERIFY(glibBus);
        g_dbus_connection_set_exit_on_close(glibBus, false);
        g_object_unref(glibBus);
    }
    void cleanupTestCase() {
        bus_.terminate();
        if (!bus_.waitForFinished(5000)) bus_.kill(), bus_.waitForFinished(1000);
    }

    // Media keys on an empty playlist say so as the remote's do; with no desktop entry installed none is
    // named; the bus name goes with the program.
    void emptyPlaylist() {
        messages::Recorder recorder;
        {
            TestApp testApp;
            QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
            for (const char* key : {"play-pause", "next", "previous"}) playerctl({key});
            QTRY_COMPARE(recorder.texts(), QStringList(3, QStringLiteral("Плейлист пуст!")));
            QCOMPARE(playerctl({"metadata", "mpris:trackid"}), kNoTrack);
            const QString root = rootProperties();
            QVERIFY2(root.contains(R"("Identity" variant string "Varnex")") &&
                         root.contains(R"("CanRaise" variant boolean true)") &&
                         !root.contains("DesktopEntry"),
                     qPrintable(root));
        }
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService));
    }

    // Play, pause, seeks, next, previous and stop through playerctl on local streams, with the main window in
    // the tray; what the button does is announced as well.
    void playerctlDrivesThePlayer() {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath("applications"));
        WriteFileBytes(data.filePath("applications/varnex.desktop"), "[Desktop Entry]\nType=Application\n");
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        HttpFileServer server;
        for (const char* name : {"/two%20words.wav", "/b.wav"})
            server.Add(name, tones::Wav(10.0, 8000, 1, 0.5, 0.5), "audio/wav");
        const QString first = QString::fromStdString(server.Url("/two%20words.wav"));
        const QString second = QString::fromStdString(server.Url("/b.wav"));
        messages::Recorder recorder;
        TestApp testApp;
        TForm1& form = *testApp.app.Form1;
        form.PlayList->addItems({first, second});
        QVERIFY(rootProperties().contains(R"("DesktopEntry" variant string "varnex")"));

        playerctl({"play"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));
        QCOMPARE(form.PlayList->currentRow(), 0);
        QCOMPARE(playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
                 first + "|two words|10000000");
        form.btnPauseClick();
        QTRY_COMPARE(announced_.status, QStringLiteral("Paused"));
        playerctl({"play-pause"});
        QTRY_COMPARE(announced_.status, QStringLiteral("Playing"));

        // Seeks go through the slider: its value and the stream's position follow, and the seek is announced.
        playerctl({"position", "5"});
        QTRY_COMPARE(announced_.seek, QStringLiteral("5000000"));
        QCOMPARE(form.ProgressBar->value(), 5 * kBytesPerSecond);
        QVERIFY(position(form.StreamHandle) >= 5 * kBytesPerSecond);
        playerctl({"position", "2-"});
        QTRY_VERIFY(announced_.seek.startsWith('3'));  // 3 s and what played since the first seek
        QVERIFY(position(form.StreamHandle) < 5 * kBytesPerSecond);

        playerctl({"next"});
        QTRY_COMPARE(announced_.url, second);
        QCOMPARE(form.PlayList->currentRow(), 1);
        playerctl({"previous"});
        QTRY_COMPARE(announced_.url, first);
        QCOMPARE(form.PlayList->currentRow(), 0);

        // Stop pauses at the start of the track; past the last track playback stops and the track is gone.
        playerctl({"stop"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"));
        QCOMPARE(form.ProgressBar->value(), 0);
        QCOMPARE(settledPosition(form.StreamHandle), std::int64_t{0});
        playerctl({"next"});
        playerctl({"next"});
        QTRY_COMPARE(announced_.status, QStringLiteral("Stopped"));
        QVERIFY(announced_.url.isEmpty());
        QCOMPARE(playerctl({"metadata", "mpris:trackid"}), kNoTrack);

        // Raise brings the window back from the tray.
        QVERIFY(!form.isVisible());
        callRoot("org.mpris.MediaPlayer2.Raise");
        QTRY_VERIFY(form.isVisible());
        QVERIFY(recorder.texts().isEmpty());
        qunsetenv("XDG_DATA_HOME");
    }
};

VARNEX_TEST_MAIN(MediaControlsTest)
#include "test_media_controls.moc"
