// AmbiLight on a Wayland desktop's screen cast: a real PipeWire daemon and session manager, a producer
// streaming a screen of four coloured quarters (standing in for the compositor), and the real desktop portal
// on a private session bus (run under dbus-run-session) with a stand-in for the compositor's portal backend.
// Read back byte for byte on a pseudo-terminal: the frames for the quarters (from a stream at half the
// screen's size), a repaint followed, the stop's all-off and the session closed, the consent remembered; a
// refusal, a missing portal and a stream ended by the desktop each give their one message and leave AmbiLight
// stopped and usable; a restore token the portal or the desktop refuses is dropped and the user asked once
// more; a stream that gives no usable picture is stopped, a still screen is not. The same on an LED strip
// (WLED datagrams read on 127.0.0.1): nothing but the start's all-off before the first frame, each LED its
// own area's colour in strip order, a repaint, and the stream's end stopping the strip with its message.
// Where a real GNOME desktop can run (see GnomeSession), the first case runs on it too, with GNOME's own
// chooser, and says where it ran.

#include <QComboBox>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>

#include "app/main_window.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "platform/wayland/screen_cast_portal.h"
#include "platform/wayland/stream_health.h"
#include "settings/profile_file.h"
#include "settings/screen_cast_token.h"
#include "settings/settings.h"
#include "tests/support/gnome_session.h"
#include "tests/support/light_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/screen_cast_stand_in.h"
#include "tests/support/test_main.h"
#include "tools/board/strip_receiver.h"

namespace {

constexpr qsizetype FrameBytes = 24;
const QByteArray StartOff(P1AllOffCommand), StopOff(AllOffCommand);

// Quarters of the producer's screen (upper left, lower left, upper right, lower right) and the frame they
// give with mode 0,0, whose zones lie in the four corners.
const QList<quint32> kQuarters{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const QByteArray kFrame = "E8F0D0B0C8A0H0G0I8K8J8L8";
const QList<quint32> kRepainted{0x4080FF, 0x000000, 0x112233, 0x808080};
const QByteArray kRepaintedFrame = "E2F4D8B0C0A0H1G1I2K4J4L4";

const QString kTokenSection = QStringLiteral("Varnex"), kTokenKey = QStringLiteral("ScreenCastRestoreToken");
const QString kNotStarted = QStringLiteral("Рабочий стол не смог начать показ экрана. AmbiLight выключен.");
const QString kNoPicture = QStringLiteral("Рабочий стол не передаёт изображение экрана. AmbiLight выключен.");

struct Run {
    PseudoTerminal line;
    QTemporaryDir links;
    messages::Recorder recorder;
    TestApp testApp;
    LightController& light = testApp.app.Light();
    LightControlsOf form{*testApp.app.Form1};
    QByteArray got;

    // `throughLink`: the port opened by a name of its own, a link to the pseudo-terminal. A user other than
    // root cannot take Qt's lock file for /dev/pts/N where a root process left one behind.
    explicit Run(bool throughLink = false) {
        const QString port = throughLink ? links.filePath(QStringLiteral("line")) : line.slavePath();
        if (throughLink) QFile::link(line.slavePath(), port);
        light.OpenPort(port);
        light.AddMode(QStringLiteral("0,0"));
    }
    // Presses the AmbiLight switch and reads what comes from then on as waitForLine does.
    bool press(const QByteArray& end) {
        got.clear();
        form.SpeedButton1->click();
        return waitForLine(end);
    }
    // Reads the line, while the event loop runs, until what came ends with `end`.
    bool waitForLine(const QByteArray& end) {
        for (QDeadlineTimer deadline(15000);
             !(got += line.read(0, 0)).endsWith(end) && !deadline.hasExpired();)
            QTest::qWait(10);
        return got.endsWith(end);
    }
    // Stopped by itself or by the user: the switch and the mode row usable, nothing more on the line, the
    // desktop's session closed (no sharing shown any more).
    void checkStopped(const ScreenCastBackend& backend) {
        QTRY_VERIFY_WITH_TIMEOUT(!light.AmbiLightOn(), 10000);
        QCOMPARE(form.SpeedButton1->text(), QStringLiteral("включить"));
        for (QWidget* w : QList<QWidget*>{form.ComboBox1, form.Button5, form.Button7, form.btnVisual1,
                                          form.Button1, form.SpeedButton1})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QTest::qWait(300);
        QCOMPARE(line.read(1, 0), QByteArray());
        QTRY_COMPARE(backend.open, 0);
    }
    QString savedToken() const {
        return ProfileFile::Load(testApp.app.SettingsPath()).ReadString(kTokenSection, kTokenKey);
    }
    // A token as the program holds it (the file is read once, at start).
    void saveToken(const QString& token) { testApp.app.AppSettings().SaveScreenCastToken(token); }
};

// What a WLED controller on 127.0.0.1 gets: each realtime datagram read as the strip's colours.
struct WledLine {
    QUdpSocket socket;
    WledLine() { socket.bind(QHostAddress::LocalHost, 0); }
    // A 12-LED strip from the bottom left corner, clockwise: the left side up (LEDs 0-1), the top left to
    // right (2-5), the right side down (6-7), the bottom right to left (8-11); each LED's area lies in one
    // quarter of the screen.
    StripSettings Strip() const {
        StripSettings strip;
        strip.layout = {4, 2, 4, 2, StripCorner::BottomLeft, StripDirection::Clockwise, 0, 10};
        strip.output.kind = StripOutput::Kind::Wled;
        strip.output.host = QStringLiteral("127.0.0.1");
        strip.output.udpPort = socket.localPort();
        return strip;
    }
    // The next datagram's colours, none when none came within `ms`, and no colours for one that is not a
    // whole DRGB frame with WLED's two-second timeout. The event loop runs meanwhile.
    std::optional<StripColours> Next(int ms = 3000) {
        for (QDeadlineTimer deadline(ms); !socket.hasPendingDatagrams() && !deadline.hasExpired();)
            QTest::qWait(5);
        if (!socket.hasPendingDatagrams()) return std::nullopt;
        QByteArray datagram(qMax<qint64>(socket.pendingDatagramSize(), 0), Qt::Uninitialized);
        socket.readDatagram(datagram.data(), datagram.size());
        const std::optional<WledPacket> packet = ParseWled(datagram);
        return packet && packet->protocol == WledPacket::Drgb && packet->timeoutSeconds == 2 ? packet->colours
                                                                                             : StripColours{};
    }
    // The first colours other than `shown` to come within `ms` (`shown`'s repeats passed over); none when
    // nothing else came.
    std::optional<StripColours> NextOtherThan(const StripColours& shown, int ms = 3000) {
        for (QDeadlineTimer deadline(ms); !deadline.hasExpired();)
            if (const auto got = Next(int(deadline.remainingTime())); got && *got != shown) return got;
        return std::nullopt;
    }
    StripColours After(const StripColours& shown) { return NextOtherThan(shown).value_or(StripColours{}); }
    // Whether nothing but `shown` came for `ms` (its repeats, or nothing at all).
    bool OnlyFor(const StripColours& shown, int ms) { return !NextOtherThan(shown, ms); }
};

// The strip's colours for the producer's `quarters` (upper left, lower left, upper right, lower right).
StripColours onStrip(const QList<quint32>& quarters) {
    const QRgb upperLeft = 0xFF000000 | quarters[0], lowerLeft = 0xFF000000 | quarters[1],
               upperRight = 0xFF000000 | quarters[2], lowerRight = 0xFF000000 | quarters[3];
    return {lowerLeft,  upperLeft,  upperLeft,  upperLeft,  upperRight, upperRight,
            upperRight, lowerRight, lowerRight, lowerRight, lowerLeft,  lowerLeft};
}

// A portal front end that answers out of turn, as a loaded system may deliver its answers: a request's
// Response before the reply to the call that made it, CreateSession's reply only once the next step has
// begun, and Start's Response later still. It records the methods called; Start starts no stream.
class OutOfTurnPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.ScreenCast")

public:
    explicit OutOfTurnPortal(const QDBusConnection& bus) : bus_(bus) {
        bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
        bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    ~OutOfTurnPortal() override {
        bus_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        QDBusConnection::disconnectFromBus(bus_.name());
    }

    QStringList called;

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options) {
        called << QStringLiteral("CreateSession");
        const QDBusObjectPath request =
            answer(options, {{QStringLiteral("session_handle"), kPath + QStringLiteral("/session/s")}}, 0);
        setDelayedReply(true);
        QTimer::singleShot(300, this, [this, reply = message().createReply(QVariant::fromValue(request))] {
            bus_.send(reply);
        });
        return request;
    }
    QDBusObjectPath SelectSources(const QDBusObjectPath&, const QVariantMap& options) {
        called << QStringLiteral("SelectSources");
        return answer(options, {}, 0);
    }
    QDBusObjectPath Start(const QDBusObjectPath&, const QString&, const QVariantMap& options) {
        called << QStringLiteral("Start");
        return answer(options, {}, 600);
    }

private:
    // Sends the request's Response (code 0, `results`) after `afterMs`, and gives the request's path.
    QDBusObjectPath answer(const QVariantMap& options, const QVariantMap& results, int afterMs) {
        const QString sender = message().service().mid(1).replace(u'.', u'_');
        const QString path =
            QStringLiteral("%1/request/%2/%3").arg(kPath, sender, options.value("handle_token").toString());
        QDBusMessage response = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        QTimer::singleShot(afterMs, this, [this, response] { bus_.send(response); });
        return QDBusObjectPath(path);
    }

    const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
    QDBusConnection bus_;
};

}  // namespace

class AmbiLightPortalTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PipeWireDaemons> daemons_;
    std::unique_ptr<ScreenCastBackend> backend_;
    std::unique_ptr<DesktopPortal> portal_;

    // The backend offers `producer`'s stream, once it is there.
    bool offer(ScreenProducer& producer) {
        backend_->producer = &producer;
        return producer.Node() != 0;
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariable("VARNEX_CAPTURE") == "portal", "run with VARNEX_CAPTURE=portal");
        daemons_ = std::make_unique<PipeWireDaemons>();
        QVERIFY(daemons_->Running());
        // The backend first: the portal reads what it offers when it starts.
        backend_ = std::make_unique<ScreenCastBackend>(QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("portal backend")));
        portal_ = std::make_unique<DesktopPortal>(*daemons_);
        QVERIFY(portal_->Start());
    }

    void framesFollowTheStreamUntilStopped() {
        // On a real GNOME desktop where one can run; on the stand-ins always, for what a real backend does
        // not show: the options asked for, a scaled stream, the backend's session closed at the stop.
        const QString unusable = GnomeSideUnusable();
        if (unusable.isEmpty()) {
            qInfo("On a real GNOME desktop: mutter, xdg-desktop-portal-gnome");
            QVERIFY(RunGnomeSide({QStringLiteral("framesFollowTheDesktopUntilStopped")}, 120000));
            qInfo("Then on the stand-ins");
        } else {
            qInfo("On the stand-ins only, no real GNOME desktop: %s", qPrintable(unusable));
        }

        // Half the screen's size: the stream is scaled down, and the zones scaled with it.
        ScreenProducer producer(*daemons_, 400, 300, kQuarters);
        QVERIFY(offer(producer));
        backend_->answer = 0;
        Run run;
        QVERIFY2(run.press(kFrame.repeated(3)), run.got.constData());
        QVERIFY(run.got.startsWith(StartOff));
        QCOMPARE(run.got.mid(StartOff.size()),
                 kFrame.repeated((run.got.size() - StartOff.size()) / FrameBytes));

        // A repaint follows within a few frames; frames are whole, the old picture never comes back.
        producer.Paint(kRepainted);
        QVERIFY2(run.waitForLine(kRepaintedFrame.repeated(3)), run.got.constData());
        const QByteArray frames = run.got.mid(StartOff.size());
        const qsizetype firstNew = frames.indexOf(kRepaintedFrame);
        QVERIFY(firstNew > 0 && firstNew % FrameBytes == 0);
        QCOMPARE(frames.mid(firstNew), kRepaintedFrame.repeated((frames.size() - firstNew) / FrameBytes));

        // The stop: its all-off, and the desktop's session ends with it.
        QVERIFY2(run.press(StopOff), run.got.constData());
        run.checkStopped(*backend_);
        QVERIFY(run.recorder.shown().isEmpty());

        // One monitor, no cursor, the choice remembered; the token handed back comes back at the next start.
        QCOMPARE(
            backend_->selected.last(),
            (QVariantMap{{"types", 1u}, {"multiple", false}, {"cursor_mode", 1u}, {"persist_mode", 2u}}));
        QVERIFY(!run.savedToken().isEmpty());
        QVERIFY2(run.press(kRepaintedFrame), run.got.constData());
        QVERIFY(backend_->selected.last().contains("restore_data"));  // the portal knew the token
        QVERIFY2(run.press(StopOff), run.got.constData());
    }

    void refusalMissingPortalAndEndedStreamEachStopWithOneMessage() {
        ScreenProducer producer(*daemons_, 800, 600, kQuarters);
        QVERIFY(offer(producer));
        Run run;
        // Refused: the start's all-off, no frame, the stop's all-off.
        backend_->answer = 1;
        QVERIFY2(run.press(StartOff + StopOff), run.got.constData());
        QCOMPARE(run.got, StartOff + StopOff);
        QCOMPARE(run.recorder.texts(), QStringList{"Доступ к экрану не разрешён. AmbiLight выключен."});
        run.checkStopped(*backend_);
        // No portal on the bus: refused at the start, nothing sent.
        QVERIFY(portal_->Stop());
        run.form.SpeedButton1->click();
        QCOMPARE(
            run.recorder.texts().last(),
            "Захват экрана недоступен: нет службы xdg-desktop-portal с показом экрана. AmbiLight выключен.");
        run.checkStopped(*backend_);
        run.recorder.clear();
        QVERIFY(portal_->Start());
        backend_->answer = 0;

        // The desktop ends the stream mid-run: the message once, the stop's all-off, and a new start works.
        QVERIFY2(run.press(kFrame), run.got.constData());
        producer.End();
        QVERIFY2(run.waitForLine(StopOff), run.got.constData());
        QCOMPARE(run.recorder.texts(), QStringList{"Показ экрана прекращён. AmbiLight выключен."});
        run.checkStopped(*backend_);

        ScreenProducer again(*daemons_, 800, 600, kRepainted);
        QVERIFY(offer(again));
        QVERIFY2(run.press(kRepaintedFrame) && run.press(StopOff), run.got.constData());
        QCOMPARE(run.recorder.texts().size(), 1);
    }

    void refusedRestoreTokenIsDroppedAndAskedOnceMore() {
        ScreenProducer producer(*daemons_, 800, 600, kQuarters);
        QVERIFY(offer(producer));
        backend_->answer = 0;
        Run run;
        // A token that is no UUID (edited by hand, or cut): the portal refuses SelectSources itself, so the
        // desktop is asked once more, without it, and its new token replaces the refused one.
        run.saveToken(QStringLiteral("not-a-uuid"));
        qsizetype asked = backend_->selected.size();
        QVERIFY2(run.press(kFrame), run.got.constData());
        QCOMPARE(backend_->selected.size(), asked + 1);
        QVERIFY(!backend_->selected.last().contains("restore_data"));
        const QString token = run.savedToken();
        QVERIFY2(!QUuid::fromString(token).isNull(), qPrintable(token));
        QVERIFY2(run.press(StopOff), run.got.constData());

        // A token the portal knows, for a choice the desktop cannot restore any more: Start fails, and the
        // desktop is asked once more without it.
        backend_->refuseRestore = true;
        asked = backend_->selected.size();
        QVERIFY2(run.press(kFrame), run.got.constData());
        QCOMPARE(backend_->selected.size(), asked + 2);
        QVERIFY(backend_->selected.at(asked).contains("restore_data"));
        QVERIFY(!backend_->selected.last().contains("restore_data"));
        QVERIFY(!run.savedToken().isEmpty() && run.savedToken() != token);
        QVERIFY2(run.press(StopOff), run.got.constData());
        backend_->refuseRestore = false;
        QVERIFY(run.recorder.shown().isEmpty());

        // Asked again and failed again: the one message, and the refused token gone, so that the next start
        // asks the user rather than fail the same way.
        run.saveToken(QStringLiteral("not-a-uuid"));
        backend_->answer = 2;
        asked = backend_->selected.size();
        QVERIFY2(run.press(StartOff + StopOff), run.got.constData());
        QCOMPARE(run.got, StartOff + StopOff);
        QCOMPARE(run.recorder.texts(), QStringList{kNotStarted});
        QCOMPARE(backend_->selected.size(), asked + 1);
        QCOMPARE(run.savedToken(), QString());
        run.checkStopped(*backend_);
        backend_->answer = 0;
    }

    // What settings.ini gives as the token is what was written: never a value cut at the reader's limit,
    // never one a save changes.
    void restoreTokenReadsBackAsWritten() {
        const QString cut = QString(2046, u'a') + u' ' + QString(900, u'b');
        const ProfileFile long_ =
            ProfileFile::Parse(("[Varnex]\r\nScreenCastRestoreToken=" + cut).toLatin1());
        QCOMPARE(long_.ReadString(kTokenSection, kTokenKey).size(), ProfileFile::kMaxValueLength);
        QCOMPARE(ReadRestoreToken(long_), QString());

        const auto keptAs = [](const QString& token) {
            ProfileFile file = ProfileFile::Parse("[Varnex]\r\nScreenCastRestoreToken=old\r\n");
            WriteRestoreToken(file, token);
            return ReadRestoreToken(ProfileFile::Parse(file.ToBytes()));
        };
        const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QCOMPARE(keptAs(uuid), uuid);
        QCOMPARE(keptAs(QString(2046, u'x')), QString(2046, u'x'));
        for (const QString& changed :
             {QString(2047, u'x'), QString(3000, u'x'), QStringLiteral("abc "), QStringLiteral(" abc"),
              QStringLiteral("a\nb"), QStringLiteral("\"abc\""), QStringLiteral("ab文"), QString()})
            QVERIFY2(keptAs(changed).isEmpty(), qPrintable(changed.left(20)));
    }

    void streamWithoutAPictureStopsWithOneMessage() {
        backend_->answer = 0;
        Run run;
        QElapsedTimer clock;
        {
            // Buffers from the start, none of them with a picture: after five seconds the message, and the
            // stop's all-off.
            ScreenProducer blank(*daemons_, 800, 600, kQuarters);
            blank.Send(ScreenProducer::Buffers::Empty);
            QVERIFY(offer(blank));
            clock.start();
            QVERIFY2(run.press(StartOff + StopOff), run.got.constData());
            QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(run.got, StartOff + StopOff);
            QCOMPARE(run.recorder.texts(), QStringList{kNoPicture});
            run.checkStopped(*backend_);
        }
        run.recorder.clear();

        // Frames, then a still screen longer than five seconds: nothing at all, then buffers with no picture
        // (a cursor's news). The lights keep the last picture.
        ScreenProducer producer(*daemons_, 800, 600, kQuarters);
        QVERIFY(offer(producer));
        QVERIFY2(run.press(kFrame.repeated(3)), run.got.constData());
        producer.Send(ScreenProducer::Buffers::None);
        QTest::qWait(3000);
        producer.Send(ScreenProducer::Buffers::Empty);
        QTest::qWait(3500);
        QVERIFY(run.light.AmbiLightOn());
        QVERIFY(run.recorder.shown().isEmpty());

        // Then only broken buffers: the screen changes and none of it can be seen. Five seconds on, the
        // message and the stop; until then the last picture.
        run.got.clear();
        QVERIFY2(run.waitForLine(kFrame), run.got.constData());
        producer.Send(ScreenProducer::Buffers::Broken);
        clock.restart();
        QVERIFY2(run.waitForLine(StopOff), run.got.constData());
        QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
        const QByteArray frames = run.got.chopped(StopOff.size());
        QCOMPARE(frames, kFrame.repeated(frames.size() / FrameBytes));
        QCOMPARE(run.recorder.texts(), QStringList{kNoPicture});
        run.checkStopped(*backend_);
    }

    // AmbiLight on an LED strip from a stream turned, cropped out of a larger buffer and at half the
    // screen's size.
    void stripFollowsTheStreamUntilItEnds() {
        ScreenProducer producer(*daemons_, 400, 300, kQuarters, {1, QMargins(6, 2, 4, 8)});
        producer.Send(ScreenProducer::Buffers::None);
        QVERIFY(offer(producer));
        backend_->answer = 0;
        Run run;
        WledLine wled;
        run.testApp.app.AppSettings().SaveStrip(wled.Strip());
        const StripColours dark(12, qRgb(0, 0, 0));

        // Until the stream's first frame, the start's all-off alone (and its repeat); then each LED its
        // quarter's colour, in strip order.
        run.form.SpeedButton1->click();
        QVERIFY(run.light.AmbiLightOn());
        QCOMPARE(wled.Next().value_or(StripColours{}), dark);
        QVERIFY(wled.OnlyFor(dark, 1200));
        producer.Send(ScreenProducer::Buffers::Frames);
        QCOMPARE(wled.After(dark), onStrip(kQuarters));

        // A repaint: the next picture is the new one whole, and the old one never comes back.
        producer.Paint(kRepainted);
        QCOMPARE(wled.After(onStrip(kQuarters)), onStrip(kRepainted));
        QVERIFY(wled.OnlyFor(onStrip(kRepainted), 300));

        // The desktop ends the stream: the stop's all-off, the message once, and nothing lit after it.
        producer.End();
        QCOMPARE(wled.After(onStrip(kRepainted)), dark);
        QVERIFY(wled.OnlyFor(dark, 1200));
        QCOMPARE(run.recorder.texts(), QStringList{"Показ экрана прекращён. AmbiLight выключен."});
        run.checkStopped(*backend_);  // and nothing on the board's line all along

        // A new start lights the strip again (its all-off, the strip already dark, is left to the repeat);
        // the user's stop darkens it.
        ScreenProducer again(*daemons_, 400, 300, kRepainted);
        QVERIFY(offer(again));
        run.form.SpeedButton1->click();
        QCOMPARE(wled.After(dark), onStrip(kRepainted));
        run.form.SpeedButton1->click();
        QCOMPARE(wled.After(onStrip(kRepainted)), dark);
        run.checkStopped(*backend_);
        QCOMPARE(run.recorder.texts().size(), 1);
    }

    // Each step follows the last one's Response, whenever the reply to the last one's call comes.
    void lateRepliesLoseNoStep() {
        QVERIFY(portal_->Stop());
        {
            OutOfTurnPortal outOfTurn(QDBusConnection::connectToBus(
                qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("out of turn portal")));
            ScreenCastPortal client(QDBusConnection::sessionBus());
            QList<ScreenCastPortal::Failure> failed;
            connect(&client, &ScreenCastPortal::Failed, this,
                    [&](ScreenCastPortal::Failure failure) { failed << failure; });
            client.Open(QString());
            // Start's Response came: it named no stream, so the client gave up there.
            QTRY_COMPARE_WITH_TIMEOUT(failed, QList{ScreenCastPortal::Failure::Failed}, 5000);
            QCOMPARE(outOfTurn.called, (QStringList{"CreateSession", "SelectSources", "Start"}));
        }
        QVERIFY(portal_->Start());
    }

    // The rule behind the stop above, case by case (times in milliseconds).
    void streamHealthTellsAStillScreenFromALostPicture() {
        // No usable frame since the start, whatever came: starved at five seconds.
        StreamHealth blank(1000);
        blank.Broken(1500);
        QVERIFY(!blank.Starved(5999));
        QVERIFY(blank.Starved(6000));

        // A frame, then a still screen: never; nor after one broken buffer.
        StreamHealth still(0);
        still.Usable();
        QVERIFY(!still.Starved(1'000'000));
        still.Broken(200);
        QVERIFY(!still.Starved(2'000'000));
        // Broken buffers over five seconds are; a usable frame among them starts the count again.
        for (qint64 at = 225; at < 5200; at += 25) still.Broken(at);
        QVERIFY(!still.Starved(5200));
        still.Usable();
        for (qint64 at = 5225; at < 10225; at += 25) still.Broken(at);
        QVERIFY(!still.Starved(10225));
        still.Broken(10225);
        QVERIFY(still.Starved(10225));

        // A new format drops the frame kept: the five seconds start again.
        still.Restart(20000);
        QVERIFY(!still.Starved(24999));
        QVERIFY(still.Starved(25000));
        still.Usable();
        QVERIFY(!still.Starved(100000));
    }
};

// The end-to-end case on a real GNOME desktop, run as the session's user (see RunGnomeSide): the chooser
// answered by clicks the first time, the restore token skipping it the next; the desktop's own painting read
// back byte for byte; the desktop ending the cast stops AmbiLight with its message.
class AmbiLightGnomeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<GnomeSession> session_;

    // Reads the line until `end` has come as a whole frame, while every frame from the first `from` on is
    // `from` or `end` (in that order): frames are whole, and an old picture never comes back.
    static bool framesGoFromTo(Run& run, const QByteArray& from, const QByteArray& end) {
        if (!run.waitForLine(end.repeated(3))) return false;
        const QByteArray frames = run.got.mid(StartOff.size());
        const qsizetype first = frames.indexOf(from);
        if (frames.size() % FrameBytes != 0 || first < 0 || first % FrameBytes != 0) return false;
        const qsizetype firstNew = frames.indexOf(end, first);
        return frames.mid(first, firstNew - first) == from.repeated((firstNew - first) / FrameBytes) &&
               frames.mid(firstNew) == end.repeated((frames.size() - firstNew) / FrameBytes);
    }

private slots:
    void initTestCase() {
        session_ = std::make_unique<GnomeSession>();
        QVERIFY2(session_->Error().isEmpty(), qPrintable(session_->Error()));
    }
    void cleanupTestCase() { session_.reset(); }

    void framesFollowTheDesktopUntilStopped() {
        Run run(true);
        MutterPointer pointer;
        QVERIFY2(pointer.Error().isEmpty(), qPrintable(pointer.Error()));
        ScreenPainter painter(session_->Environment());

        // The chooser ("Screen Share", centred on the monitor): nothing is cast until the user has picked the
        // monitor in its list and said Share (the start's all-off comes before). Clicked until the frames
        // begin, for it takes a moment to show.
        const QPointF centre(GnomeSession::kWidth / 2, GnomeSession::kHeight / 2);
        const QPointF monitorRow = centre + QPointF(0, 26), share = centre + QPointF(212, -127);
        run.got.clear();
        run.form.SpeedButton1->click();
        QTest::qWait(1000);
        QVERIFY2((run.got += run.line.read(0, 0)).size() <= StartOff.size(), run.got.constData());
        QDeadlineTimer deadline(30000);
        while (run.got.size() <= StartOff.size() && !deadline.hasExpired()) {
            QVERIFY2(pointer.Click(monitorRow) && pointer.Click(share), qPrintable(pointer.Error()));
            for (QDeadlineTimer wait(1500);
                 (run.got += run.line.read(0, 0)).size() <= StartOff.size() && !wait.hasExpired();)
                QTest::qWait(20);
        }
        QVERIFY2(run.got.size() > StartOff.size(),
                 qPrintable(QStringLiteral("no frame after the chooser's clicks\n") + session_->Logs()));
        QVERIFY(run.got.startsWith(StartOff));

        // The desktop's own picture, byte for byte; a repaint follows, whole frames, never the old one again.
        QVERIFY(painter.Paint(kQuarters));
        QVERIFY2(framesGoFromTo(run, kFrame, kFrame), run.got.constData());
        QVERIFY(painter.Paint(kRepainted));
        QVERIFY2(framesGoFromTo(run, kFrame, kRepaintedFrame), run.got.constData());

        // The stop: its all-off, and nothing more.
        QVERIFY2(run.press(StopOff), run.got.constData());
        QTRY_VERIFY(!run.light.AmbiLightOn());
        QTest::qWait(300);
        QCOMPARE(run.line.read(1, 0), QByteArray());
        QVERIFY(run.recorder.shown().isEmpty());

        // The choice remembered: the next start casts at once, with no chooser to answer.
        QVERIFY(!run.savedToken().isEmpty());
        QVERIFY2(run.press(kRepaintedFrame.repeated(3)), run.got.constData());
        QVERIFY(run.got.startsWith(StartOff));

        // The desktop ends the cast: the stop's all-off and the message, once.
        session_->StopPortalBackend();
        QVERIFY2(run.waitForLine(StopOff), run.got.constData());
        QTRY_VERIFY(!run.light.AmbiLightOn());
        QCOMPARE(run.recorder.texts(), QStringList{"Показ экрана прекращён. AmbiLight выключен."});
        QVERIFY(session_->StartPortalBackend());
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    App::Prepare();
    if (OnGnomeSide()) {
        AmbiLightGnomeTest test;
        return QTest::qExec(&test, argc, argv);
    }
    AmbiLightPortalTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_ambilight_portal.moc"
