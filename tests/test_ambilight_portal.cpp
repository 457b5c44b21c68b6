// AmbiLight on a Wayland desktop's screen cast: a real PipeWire daemon and session manager, a producer
// streaming a screen of four coloured quarters (standing in for the compositor), and the real desktop portal
// on a private session bus (run under dbus-run-session) with a stand-in for the compositor's portal backend.
// Read back byte for byte on a pseudo-terminal: the frames for the quarters (from a stream at half the
// screen's size), a repaint followed, the stop's all-off and the session closed, the consent remembered; a
// refusal, a missing portal and a stream ended by the desktop each give their one message and leave AmbiLight
// stopped and usable.

#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>

#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "settings/profile_file.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/screen_cast_stand_in.h"
#include "tests/support/test_main.h"

namespace {

constexpr qsizetype FrameBytes = 24;
const QByteArray StartOff(P1AllOffCommand), StopOff(AllOffCommand);

// Quarters of the producer's screen (upper left, lower left, upper right, lower right) and the frame they
// give with mode 0,0, whose zones lie in the four corners.
const QList<quint32> kQuarters{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const QByteArray kFrame = "E8F0D0B0C8A0H0G0I8K8J8L8";
const QList<quint32> kRepainted{0x4080FF, 0x000000, 0x112233, 0x808080};
const QByteArray kRepaintedFrame = "E2F4D8B0C0A0H1G1I2K4J4L4";

struct Run {
    PseudoTerminal line;
    messages::Recorder recorder;
    TestApp testApp;
    TForm1& form = *testApp.app.Form1;
    QByteArray got;

    Run() {
        form.ComPort->Port = line.slavePath();
        form.ComPort->SetConnected(true);
        form.EnabledBtn(true);
        form.ComboBox1->addItem(QStringLiteral("0,0"));
        form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);
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
        QTRY_VERIFY_WITH_TIMEOUT(!form.Timer1->isActive(), 10000);
        QCOMPARE(form.SpeedButton1->text(), QStringLiteral("включить"));
        for (QWidget* w : QList<QWidget*>{form.ComboBox1, form.Button5, form.Button7, form.btnVisual1,
                                          form.Button1, form.SpeedButton1})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QTest::qWait(300);
        QCOMPARE(line.read(1, 0), QByteArray());
        QTRY_COMPARE(backend.open, 0);
    }
    QString savedToken() const {
        return ProfileFile::Load(testApp.app.SettingsPath())
            .ReadString(QStringLiteral("Varnex"), QStringLiteral("ScreenCastRestoreToken"));
    }
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
};

VARNEX_TEST_MAIN(AmbiLightPortalTest)
#include "test_ambilight_portal.moc"
