// AmbiLight over a real X server and a pseudo-terminal as the board: a backdrop window paints known colours
// where the zones lie and the frames on the line must match, byte for byte, between the P1 all-off of the
// start and the all-off of the stop; the controls it locks and unlocks; modes it refuses; the board going
// away; and the capture following a screen resize.

#include <QComboBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/color_edit.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/average_colour.h"
#include "light/light_protocol.h"
#include "light/screen_capture_x11.h"
#include "light/serial_link.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

namespace {

// A borderless window over the whole 1920 x 1080 screen, painted by `paint`.
class Backdrop : public QWidget {
public:
    explicit Backdrop(std::function<void(QPainter&)> paint) : paint_(std::move(paint)) {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(0, 0, 1920, 1080);
        show();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        paint_(painter);
    }

private:
    std::function<void(QPainter&)> paint_;
};

struct Run {
    PseudoTerminal line;
    messages::Recorder recorder;
    TestApp testApp;
    TForm1& form = *testApp.app.Form1;
    Run() {
        form.ComPort->Port = line.slavePath();
        form.ComPort->SetConnected(true);
        form.EnabledBtn(true);
    }
    void selectMode(const QString& mode) {
        form.ComboBox1->addItem(mode);
        form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);
    }
    // Mode row, static colour, colour music and the switch: usable, or locked as while AmbiLight runs.
    // "удалить" is usable only for a mode the user made, once a stop has unlocked it.
    void checkControls(bool running, bool deletable = false) {
        QCOMPARE(form.Button8->isEnabled(), !running && deletable);
        QCOMPARE(form.Timer1->isActive(), running);
        QCOMPARE(form.SpeedButton1->text(),
                 running ? QStringLiteral("выключить") : QStringLiteral("включить"));
        for (QWidget* w : QList<QWidget*>{form.ComboBox1, form.Button5, form.Button7, form.btnVisual1})
            QVERIFY2(w->isEnabled() != running, qPrintable(w->objectName()));
        const bool open = form.ComPort->Connected();
        for (QWidget* w : QList<QWidget*>{form.RzColorEdit1, form.Button1, form.Button2})
            QVERIFY2(w->isEnabled() == (open && !running), qPrintable(w->objectName()));
        QCOMPARE(form.SpeedButton1->isEnabled(), open);
    }
    // Everything on the line until it holds `bytes`, while the event loop (and so the timer) runs.
    void waitForLine(QByteArray& got, qsizetype bytes) {
        QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).size() >= bytes, 10000);
    }
};

void fillColumns(QPainter& painter, QRect area, QColor even, QColor odd) {
    for (int x = area.left(); x <= area.right(); ++x)
        painter.fillRect(x, area.top(), 1, area.height(), (x % 2) ? odd : even);
}

}  // namespace

class AmbiLightTest : public QObject {
    Q_OBJECT

private slots:
    void averagingIsExactAndRoundsHalfToEven() {
        const struct {
            int width;
            quint32 even, odd;  // pixels as the server gives them, 0xXXRRGGBB
            quint32 mean;       // 0x00BBGGRR
        } cases[] = {
            {100, 0x007F7E00, 0x00807F01, 0x00007E80},   // 127.5 gives 128, 126.5 gives 126, 0.5 gives 0
            {1000, 0xFFFFFFFF, 0xFFFFFFFF, 0x00FFFFFF},  // long rows at full level; the top byte is ignored
            {0, 0, 0, 0},                                // nothing on screen: black
        };
        for (const auto& c : cases) {
            std::vector<quint32> pixels(size_t(c.width) * 3);
            for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i % 2) ? c.odd : c.even;
            const PixelBlock block{reinterpret_cast<const uchar*>(pixels.data()), c.width, 3, c.width * 4};
            QCOMPARE(AverageColour(block), c.mean);
        }
    }

    void framesFollowTheScreen() {
        // Zones of mode 0,150 on 1920 x 1080. Left upper: means of red 16, green 16.5 and blue 47.5, which
        // give levels 0, 0 and 2 only when each mean is rounded half to even before its level.
        Backdrop zones([](QPainter& p) {
            fillColumns(p, {0, 150, 100, 300}, QColor(0, 16, 47), QColor(32, 17, 48));
            p.fillRect(0, 630, 100, 300, QColor(255, 0, 0));
            p.fillRect(1820, 150, 100, 300, QColor(0, 255, 0));
            p.fillRect(1820, 630, 100, 300, QColor(40, 90, 200));
        });
        QVERIFY(QTest::qWaitForWindowExposed(&zones));
        const struct {
            QString mode;
            QByteArray frame;
        } cases[] = {
            {"0,150", "E0F0D2B8C0A0H0G8I0K1J3L6"},
            // Half of each rectangle off screen: the on-screen half alone is averaged.
            {"-50,150", "E0F0D2B8C0A0H0G8I0K1J3L6"},
            {"2147483647,-2147483648", "E0F0D0B0C0A0H0G0I0K0J0L0"},  // wholly off screen: black
        };
        for (const auto& c : cases) {
            Run run;
            run.selectMode(c.mode);
            run.form.SpeedButton1->click();
            run.checkControls(true);
            QByteArray got;
            run.waitForLine(got, 41 + 3 * 24);
            run.form.SpeedButton1->click();
            run.checkControls(false, true);
            got += run.line.read(38, 2000);
            QVERIFY2(got.startsWith(P1AllOffCommand) && got.endsWith(AllOffCommand), got.constData());
            const QByteArray frames = got.mid(41, got.size() - 41 - 38);
            QCOMPARE(frames, c.frame.repeated(int(frames.size() / 24)));
            QVERIFY(run.recorder.shown().isEmpty());
        }
    }

    void refusesToStartWithoutAUsableMode() {
        Run run;
        const struct {
            QString mode;
            QString error;
        } cases[] = {
            {"a,b", "'b' is not a valid integer value"},
            {"1", "'' is not a valid integer value"},
            {",", "'' is not a valid integer value"},
            {" 1,2", "' 1' is not a valid integer value"},
            {"99999999999,5", "'99999999999' is not a valid integer value"},
            {"5,-", "'-' is not a valid integer value"},
        };
        for (const auto& c : cases) {
            run.selectMode(c.mode);
            run.form.SpeedButton1->click();
            QCOMPARE(run.recorder.shown().last(), (messages::Shown{messages::Kind::Error, c.error}));
            run.checkControls(false);
        }
        run.form.ComboBox1->setCurrentIndex(-1);
        run.form.SpeedButton1->click();
        QCOMPARE(run.recorder.shown().last(), (messages::Shown{messages::Kind::Message, "Не выбран режим!"}));
        run.form.ComboBox1->setCurrentIndex(0);
        run.form.ComPort->SetConnected(false);
        run.form.EnabledBtn(false);
        run.form.SpeedButton1Click();  // as the remote's key does
        QCOMPARE(run.recorder.shown().last().text, QStringLiteral("Программа не подключена к COM порту!"));
        run.checkControls(false);
        QCOMPARE(run.recorder.shown().size(), 8);
        QCOMPARE(run.line.read(1, 100), QByteArray());
    }

    void boardGoneMidRunStopsOnceWithoutAllOff() {
        Run run;
        run.form.SpeedButton1->click();
        QByteArray got;
        run.waitForLine(got, 41 + 24);
        run.line.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!run.form.Timer1->isActive() && !run.form.ComPort->Connected(), 5000);
        QTest::qWait(200);
        run.checkControls(false);
        QCOMPARE(run.recorder.texts(), QStringList{"WriteFile function failed (win error code: 5)"});
    }

    void captureFollowsAScreenResize() {
        // Xvfb's screen cannot be resized; a nested Xephyr's can. Once with shared memory, once without it.
        for (const QStringList& extra : {QStringList{}, QStringList{"-extension", "MIT-SHM"}}) {
            QProcess xephyr;
            xephyr.start("Xephyr", QStringList{"-displayfd", "1", "-screen", "1920x1080x24", "-resizeable",
                                               "-nolisten", "tcp", "-noreset"} +
                                       extra);
            QVERIFY(xephyr.waitForStarted(5000));
            QTRY_VERIFY_WITH_TIMEOUT(xephyr.canReadLine(), 10000);
            const QString display = ":" + QString::fromLatin1(xephyr.readLine()).trimmed();
            QCOMPARE(QProcess::execute("xsetroot", {"-display", display, "-solid", "#ff8000"}), 0);
            const quint32 orange = 0x000080FF;
            {
                ScreenCaptureX11 capture(display.toLatin1());
                QCOMPARE(capture.SharedMemory(), extra.isEmpty());
                QCOMPARE(AverageColour(capture.Grab(3, 1820, 630, 100, 300)), orange);
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1280x1024"}), 0);
                QTRY_COMPARE_WITH_TIMEOUT(capture.RootSize(), QSize(1280, 1024), 5000);
                QCOMPARE(AverageColour(capture.Grab(2, 1180, 150, 100, 300)), orange);
                const PixelBlock part = capture.Grab(3, 1230, 900, 100, 300);
                QCOMPARE(QSize(part.width, part.height), QSize(50, 124));
                QCOMPARE(AverageColour(part), orange);
                QCOMPARE(capture.Grab(2, 1820, 150, 100, 300).width, 0);
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1920x1080"}), 0);
                QTRY_COMPARE_WITH_TIMEOUT(capture.RootSize(), QSize(1920, 1080), 5000);
                QCOMPARE(AverageColour(capture.Grab(3, 1820, 630, 100, 300)), orange);
            }
            xephyr.terminate();
            QVERIFY(xephyr.waitForFinished(5000));
        }
    }
};

VARNEX_TEST_MAIN(AmbiLightTest)
#include "test_ambilight.moc"
