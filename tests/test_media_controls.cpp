// The player on the desktop's media controls: playerctl and D-Bus calls over a private session bus drive it
// as media keys and a panel's media widget do, and read back what it plays.

#include <gio/gio.h>  // before Qt, whose "signals" it uses as a name

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingReply>
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
const QString kEmpty = QStringLiteral("Плейлист пуст!");
const QString kNoTrack =
    QStringLiteral("'/org/mpris/MediaPlayer2/TrackList/NoTrack'");  // as playerctl shows it
constexpr qint64 kBytesPerSecond = 8000 * 2;                        // the tones: 8 kHz mono

// Runs a tool to its end while this program goes on answering the bus; its standard output, trimmed.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) {
        process.kill();
        process.waitForFinished(1000);
        return QStringLiteral("<%1 did not end>").arg(program);
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString playerctl(const QStringList& arguments) {
    return run(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=varnex")} + arguments);
}

// What the desktop hears: the properties and seeks the player announces, over a connection of its own.
class BusWatch : public QObject {
    Q_OBJECT

public:
    explicit BusWatch(const QString& address)
        : bus(QDBusConnection::connectToBus(address, QStringLiteral("watch"))) {
        bus.connect({}, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                    SLOT(changed(QString, QVariantMap, QStringList)));
        bus.connect({}, kPath, "org.mpris.MediaPlayer2.Player", "Seeked", this, SLOT(seeked(qlonglong)));
    }
    ~BusWatch() override { QDBusConnection::disconnectFromBus(QStringLiteral("watch")); }

    // A call to the player, answered while this program's event loop runs.
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = bus.asyncCall(message, 5000);
        return QTest::qWaitFor([&] { return pending.isFinished(); }, 6000) ? pending.reply() : QDBusMessage();
    }
    QVariantMap root() {
        const QDBusMessage reply =
            call("org.freedesktop.DBus.Properties", "GetAll", {QStringLiteral("org.mpris.MediaPlayer2")});
        return reply.arguments().isEmpty() ? QVariantMap{}
                                           : qdbus_cast<QVariantMap>(reply.arguments().first());
    }

    QDBusConnection bus;
    QStringList statuses;  // PlaybackStatus, each time it is announced
    QStringList urls;      // xesam:url of each Metadata announced
    QList<qlonglong> seeks;

public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&) {
        if (properties.contains("PlaybackStatus")) statuses << properties["PlaybackStatus"].toString();
        if (properties.contains("Metadata"))
            urls << qdbus_cast<QVariantMap>(properties["Metadata"]).value("xesam:url").toString();
    }
    void seeked(qlonglong position) { seeks << position; }
};

}  // namespace

class MediaControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir busFolder_;
    QProcess bus_;
    QString address_;

private slots:
    // A session bus of the test's own, in place before anything in this program asks for one.
    void initTestCase() {
        bus_.start(QStringLiteral("dbus-daemon"),
                   {"--session", "--nofork", "--print-address=1",
                    "--address=unix:path=" + busFolder_.filePath(QStringLiteral("bus"))});
        QVERIFY(bus_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(bus_.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
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

    // Media keys on an empty playlist say so as the remote's do, and the caller is answered at once; the
    // name goes with the program.
    void emptyPlaylist() {
        messages::Recorder recorder;
        BusWatch watch(address_);
        {
            TestApp testApp;
            QVERIFY(watch.bus.interface()->isServiceRegistered(kService));
            QCOMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
            for (const char* key : {"play-pause", "next", "previous"}) playerctl({key});
            QTRY_COMPARE(recorder.texts(), QStringList(3, kEmpty));
            QCOMPARE(playerctl({"metadata", "mpris:trackid"}), kNoTrack);
            // No desktop entry installed: none is named.
            const QVariantMap root = watch.root();
            QCOMPARE(root.value("Identity").toString(), QStringLiteral("Varnex"));
            QVERIFY(root.value("CanRaise").toBool() && root.value("CanQuit").toBool());
            QVERIFY(!root.contains("DesktopEntry"));
        }
        QVERIFY(!watch.bus.interface()->isServiceRegistered(kService));
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
        BusWatch watch(address_);
        TestApp testApp;
        TForm1& form = *testApp.app.Form1;
        form.PlayList->addItems({first, second});
        QCOMPARE(watch.root().value("DesktopEntry").toString(), QStringLiteral("varnex"));

        playerctl({"play"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));
        QCOMPARE(form.PlayList->currentRow(), 0);
        QCOMPARE(playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
                 first + "|two words|10000000");
        form.btnPauseClick();
        QTRY_COMPARE(watch.statuses.value(watch.statuses.size() - 1), QStringLiteral("Paused"));
        QCOMPARE(playerctl({"status"}), QStringLiteral("Paused"));
        playerctl({"play-pause"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Playing"));

        // Seeks go through the slider: its value and the stream's position follow, and the seek is announced.
        playerctl({"position", "5"});
        QTRY_COMPARE(watch.seeks, QList<qlonglong>{5'000'000});
        QCOMPARE(form.ProgressBar->value(), int(5 * kBytesPerSecond));
        QVERIFY(position(form.StreamHandle) >= 5 * kBytesPerSecond);
        playerctl({"position", "2-"});
        QTRY_COMPARE(watch.seeks.size(), 2);
        QVERIFY2(watch.seeks[1] >= 3'000'000 && watch.seeks[1] < 4'000'000,
                 qPrintable(QString::number(watch.seeks[1])));
        QVERIFY(position(form.StreamHandle) < 5 * kBytesPerSecond);

        playerctl({"next"});
        QTRY_COMPARE(watch.urls.value(watch.urls.size() - 1), second);
        QCOMPARE(form.PlayList->currentRow(), 1);
        playerctl({"previous"});
        QTRY_COMPARE(watch.urls.value(watch.urls.size() - 1), first);
        QCOMPARE(form.PlayList->currentRow(), 0);

        // Stop pauses at the start of the track.
        playerctl({"stop"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Paused"));
        QCOMPARE(form.ProgressBar->value(), 0);
        QCOMPARE(settledPosition(form.StreamHandle), std::int64_t{0});

        // Past the last track playback stops and the track is gone.
        playerctl({"next"});
        QTRY_COMPARE(form.PlayList->currentRow(), 1);
        playerctl({"next"});
        QTRY_COMPARE(playerctl({"status"}), QStringLiteral("Stopped"));
        QCOMPARE(watch.statuses.value(watch.statuses.size() - 1), QStringLiteral("Stopped"));
        QCOMPARE(playerctl({"metadata", "mpris:trackid"}), kNoTrack);

        // Raise brings the window back from the tray.
        QVERIFY(!form.isVisible());
        watch.call("org.mpris.MediaPlayer2", "Raise");
        QTRY_VERIFY(form.isVisible());
        QVERIFY(recorder.texts().isEmpty());
        qunsetenv("XDG_DATA_HOME");
    }
};

VARNEX_TEST_MAIN(MediaControlsTest)
#include "test_media_controls.moc"
