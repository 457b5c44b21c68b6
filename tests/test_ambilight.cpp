// AmbiLight's tick over an image instead of a display: the four zones' commands for what the image shows,
// following a repaint, a failed capture stopping AmbiLight once; and which capture serves which session.

#include <QComboBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/capture_choice.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "tests/support/image_capture.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

namespace {

constexpr qsizetype FrameBytes = 24;
const QByteArray StartOff(P1AllOffCommand);

}  // namespace

class AmbiLightTest : public QObject {
    Q_OBJECT

private slots:
    void framesFollowTheImageAndAFailedCaptureStopsOnce() {
        PseudoTerminal line;
        messages::Recorder recorder;
        TestApp testApp;
        TForm1& form = *testApp.app.Form1;
        form.ComPort->Port = line.slavePath();
        form.ComPort->SetConnected(true);
        form.EnabledBtn(true);
        form.ComboBox1->addItem(QStringLiteral("0,0"));
        form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);

        // Mode 0,0: the zones fill the screen's left and right edges from top to bottom, one above the other.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize size = (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
        QImage desktop(size, QImage::Format_RGB32);
        desktop.fill(Qt::black);
        QPainter painter(&desktop);
        painter.fillRect(0, 0, 100, 300, QColor(255, 0, 0));
        painter.fillRect(0, size.height() - 300, 100, 300, QColor(0, 255, 0));
        painter.fillRect(size.width() - 100, 0, 100, 300, QColor(0, 0, 255));
        painter.fillRect(size.width() - 100, size.height() - 300, 100, 300, QColor(40, 90, 200));
        painter.end();
        auto owned = std::make_unique<ImageCapture>(desktop);
        ImageCapture& capture = *owned;
        form.Capture = std::move(owned);

        form.SpeedButton1->click();
        QByteArray got;
        const auto waitFor = [&](qsizetype bytes) {
            QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).size() >= bytes, 10000);
        };
        waitFor(StartOff.size() + 2 * FrameBytes);
        QVERIFY(got.startsWith(StartOff));
        const QByteArray first = "E8F0D0B0C8A0H0G0I8K1J3L6";
        QCOMPARE(got.mid(StartOff.size(), 2 * FrameBytes), first.repeated(2));

        // A repaint reaches the line within a frame or two; frames are whole, never mixed within one.
        capture.desktop.fill(Qt::white);
        const QByteArray white = "E8F8D8B8C8A8H8G8I8K8J8L8";
        QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).endsWith(white.repeated(2)), 10000);
        const QByteArray frames = got.mid(StartOff.size());
        for (qsizetype at = 0; at + FrameBytes <= frames.size(); at += FrameBytes) {
            const QByteArray frame = frames.mid(at, FrameBytes);
            QVERIFY2(frame == first || frame == white, frame.constData());
        }

        // A failed capture stops AmbiLight as a lost line does: once, after the zones captured before it in
        // that tick, with nothing more on the line.
        capture.failingFrom = 2;
        QTRY_VERIFY_WITH_TIMEOUT(!form.Timer1->isActive(), 5000);
        QTest::qWait(100);
        got += line.read(0, 0);
        QVERIFY2(got.endsWith(white + white.left(FrameBytes / 2)), got.right(FrameBytes * 2).constData());
        QCOMPARE(recorder.texts(), QStringList{"Screen capture failed"});
        QCOMPARE(form.SpeedButton1->text(), QStringLiteral("включить"));
        QVERIFY(form.ComboBox1->isEnabled() && form.btnVisual1->isEnabled());
    }

    void captureFollowsTheSession() {
        using Order = std::vector<CaptureKind>;
        const Order x11{CaptureKind::X11}, portal{CaptureKind::Portal},
            either{CaptureKind::Portal, CaptureKind::X11};
        struct Row {
            CaptureEnvironment environment;
            Order built;    // with the portal adapter in the build
            Order without;  // without it
        };
        const Row rows[] = {
            {{"", "", "x11"}, x11, x11},
            {{"", "", ""}, x11, x11},
            {{"", "wayland-0", ""}, either, x11},
            {{"", "", "wayland"}, either, x11},
            {{"", "", "Wayland"}, either, x11},
            {{"x11", "wayland-0", "wayland"}, x11, x11},
            {{"portal", "", "x11"}, portal, x11},
            {{"pipewire", "wayland-0", ""}, either, x11},  // an unknown choice is no choice
            {{"PORTAL", "", "x11"}, x11, x11},
        };
        for (const Row& row : rows) {
            const CaptureEnvironment& e = row.environment;
            const QString name = e.forced + "|" + e.waylandDisplay + "|" + e.sessionType;
            QVERIFY2(CaptureOrder(e, true) == row.built, qPrintable(name));
            QVERIFY2(CaptureOrder(e, false) == row.without, qPrintable(name));
        }
    }
};

VARNEX_TEST_MAIN(AmbiLightTest)
#include "test_ambilight.moc"
