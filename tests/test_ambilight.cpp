// The light controller without a window, on a pseudo-terminal as the board: AmbiLight's tick over an image
// instead of a display (the four zones' commands for what the image shows, following a repaint, a failed
// capture stopping AmbiLight once), colour music from a given level, the modes and their store, and the
// enabling rule the windows follow; and which capture serves which session.

#include <QElapsedTimer>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "light/capture_choice.h"
#include "light/colour_music.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "tests/support/image_capture.h"
#include "tests/support/pseudo_terminal.h"

namespace {

constexpr qsizetype FrameBytes = 24;
const QByteArray StartOff(P1AllOffCommand), StopOff(AllOffCommand);
const QString NotConnected = QStringLiteral("Программа не подключена к COM порту!");

// A controller whose captures show `desktop` (the whole screen), with its notices and errors noted in order.
struct Lights {
    PseudoTerminal line;
    LightController light;
    QStringList said;  // notices and errors, errors marked with "!"
    int capturesMade = 0;
    ImageCapture* capture = nullptr;
    explicit Lights(const QImage& desktop = QImage(1920, 1080, QImage::Format_RGB32)) {
        light.SetScreen([size = desktop.size()] { return QRect(QPoint(), size); });
        light.SetCaptureFactory([this, desktop] {
            ++capturesMade;
            auto made = std::make_unique<ImageCapture>(desktop);
            capture = made.get();
            return made;
        });
        QObject::connect(&light, &LightController::Notice, [this](const QString& text) { said << text; });
        QObject::connect(&light, &LightController::Failed,
                         [this](const QString& text) { said << "!" + text; });
    }
};

// An image as a stream brings it: each new picture is kept and then told, as the desktop portal's capture
// tells of each frame it keeps.
class StreamCapture final : public ScreenCapture {
public:
    StreamCapture() { image.desktop.fill(Qt::black); }
    ImageCapture image{QImage(1920, 1080, QImage::Format_RGB32)};
    bool TellsFrames() const override { return true; }
    PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area) override {
        return image.ZonePixels(slot, screen, area);
    }
    void Keep(Qt::GlobalColor colour) {
        image.desktop.fill(colour);
        FrameKept();
    }
};

}  // namespace

class AmbiLightTest : public QObject {
    Q_OBJECT

private slots:
    void framesFollowTheImageAndAFailedCaptureStopsOnce() {
        // Mode 0,0: the zones fill the screen's left and right edges from top to bottom, one above the other.
        const QSize size(1920, 1080);
        QImage desktop(size, QImage::Format_RGB32);
        desktop.fill(Qt::black);
        QPainter painter(&desktop);
        painter.fillRect(0, 0, 100, 300, QColor(255, 0, 0));
        painter.fillRect(0, size.height() - 300, 100, 300, QColor(0, 255, 0));
        painter.fillRect(size.width() - 100, 0, 100, 300, QColor(0, 0, 255));
        painter.fillRect(size.width() - 100, size.height() - 300, 100, 300, QColor(40, 90, 200));
        painter.end();
        Lights lights(desktop);
        auto& [line, light, said, capturesMade, capture] = lights;
        QSignalSpy controls(&light, &LightController::ControlsChanged);
        const auto controlsNow = [&] { return controls.last().first().value<LightControls>(); };

        // Closed: refused before anything else, nothing made, nothing sent.
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        QCOMPARE(said, QStringList{NotConnected});
        light.OpenPort(line.slavePath());
        QCOMPARE(light.Controls(), (LightControls{true, true, true}));
        // No mode selected, or one that gives no position: refused before the capture is made.
        light.SwitchAmbiLight(std::nullopt);
        light.SwitchAmbiLight(QStringLiteral("5,-"));
        QCOMPARE(said.mid(1), (QStringList{"Не выбран режим!", "!'-' is not a valid integer value"}));
        QVERIFY(!light.AmbiLightOn() && capturesMade == 0);
        QCOMPARE(line.read(1, 100), QByteArray());

        // Running: the mode row and the light row locked, the switch usable.
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        QVERIFY(light.AmbiLightOn());
        QCOMPARE(controlsNow(), (LightControls{false, true, false}));
        QByteArray got;
        const auto waitFor = [&](qsizetype bytes) {
            QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).size() >= bytes, 10000);
        };
        waitFor(StartOff.size() + 2 * FrameBytes);
        QVERIFY(got.startsWith(StartOff));
        const QByteArray first = "E8F0D0B0C8A0H0G0I8K1J3L6";
        QCOMPARE(got.mid(StartOff.size(), 2 * FrameBytes), first.repeated(2));

        // A repaint reaches the line within a frame or two; frames are whole, never mixed within one.
        capture->desktop.fill(Qt::white);
        const QByteArray white = "E8F8D8B8C8A8H8G8I8K8J8L8";
        QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).endsWith(white.repeated(2)), 10000);
        const QByteArray frames = got.mid(StartOff.size());
        for (qsizetype at = 0; at + FrameBytes <= frames.size(); at += FrameBytes) {
            const QByteArray frame = frames.mid(at, FrameBytes);
            QVERIFY2(frame == first || frame == white, frame.constData());
        }

        // A failed capture stops AmbiLight as a lost line does: once, after the zones captured before it in
        // that tick, with nothing more on the line; everything usable again.
        capture->failingFrom = 2;
        QTRY_VERIFY_WITH_TIMEOUT(!light.AmbiLightOn(), 5000);
        QTest::qWait(100);
        got += line.read(0, 0);
        QVERIFY2(got.endsWith(white + white.left(FrameBytes / 2)), got.right(FrameBytes * 2).constData());
        QCOMPARE(said.mid(3), QStringList{"!Screen capture failed"});
        QCOMPARE(controlsNow(), (LightControls{true, true, true}));

        // A lasting capture serves the next run; switched off, the all-off follows the frames.
        capture->failingFrom = ScreenCapture::Slots;
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        got.clear();
        waitFor(StartOff.size() + FrameBytes);
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        QVERIFY(!light.AmbiLightOn());
        QVERIFY((got += line.read(0, 0)).endsWith(StopOff));
        QCOMPARE(capturesMade, 1);
        QCOMPARE(said.size(), 4);
    }

    // A capture that tells of its new frames: a new frame goes out as soon as its notice is handled (no timer
    // runs meanwhile), but never within TickMs of the tick before, also in a burst of frames; a still screen
    // still has its last frame repeated by the timer.
    void newFramesGoOutAtOnceWithinTheTickRate() {
        PseudoTerminal line;
        LightController light;
        StreamCapture* capture = nullptr;
        light.SetScreen([] { return QRect(0, 0, 1920, 1080); });
        light.SetCaptureFactory([&] {
            auto made = std::make_unique<StreamCapture>();
            capture = made.get();
            return made;
        });
        light.OpenPort(line.slavePath());
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        QByteArray got;
        const auto framesOnLine = [&] {
            return ((got += line.read(0, 0)).size() - StartOff.size()) / FrameBytes;
        };
        QTRY_VERIFY(framesOnLine() >= 1);
        const QByteArray white = "E8F8D8B8C8A8H8G8I8K8J8L8", black = "E0F0D0B0C0A0H0G0I0K0J0L0";
        QCOMPARE(got.right(FrameBytes), black);

        // Out at once: posted events only, so no timer can have sent it.
        QThread::msleep(LightController::TickMs + 5);
        got += line.read(0, 0);
        QElapsedTimer sinceWhite;
        sinceWhite.start();
        capture->Keep(Qt::white);
        QCoreApplication::sendPostedEvents();
        QVERIFY(framesOnLine() >= 2 && got.endsWith(white));

        // Right after it, the next frame waits for its turn.
        capture->Keep(Qt::black);
        QCoreApplication::sendPostedEvents();
        if (sinceWhite.elapsed() < LightController::TickMs)
            QVERIFY(framesOnLine() >= 2 && got.endsWith(white));
        QTRY_VERIFY(framesOnLine() >= 2 && got.endsWith(black));
        QVERIFY(sinceWhite.elapsed() >= LightController::TickMs);

        // A burst of frames, one a millisecond: at most one frame on the line per TickMs, the last one shown.
        const qsizetype beforeBurst = framesOnLine();
        QElapsedTimer burst;
        burst.start();
        for (int i = 0; burst.elapsed() < 100; ++i) {
            capture->Keep(i % 2 ? Qt::white : Qt::black);
            QTest::qWait(1);
        }
        capture->Keep(Qt::white);
        QTRY_VERIFY(framesOnLine() > beforeBurst && got.endsWith(white));
        QVERIFY2(framesOnLine() - beforeBurst <= burst.elapsed() / LightController::TickMs + 1,
                 qPrintable(QString::number(framesOnLine() - beforeBurst)));

        // Still: no more notices, and the last frame is still repeated.
        const qsizetype still = framesOnLine();
        QTRY_VERIFY(framesOnLine() > still);
        QCOMPARE(got.right(FrameBytes), white);
        light.SwitchAmbiLight(QStringLiteral("0,0"));
        QVERIFY((got += line.read(0, 0)).endsWith(StopOff));
    }

    // Colour music from the level given, and the modes stored after each change.
    void colourMusicAndModes() {
        Lights lights;
        auto& [line, light, said, capturesMade, capture] = lights;
        quint32 level = 0xFFFFFFFF;  // nothing plays
        light.SetLevelSource([&] { return level; });
        light.OpenPort(line.slavePath());

        // Colour music: silence writes nothing; a level writes its command each 33 ms; off writes the
        // all-off and gives the switch and the light row back.
        light.SwitchColourMusic();
        QVERIFY(light.ColourMusicOn());
        QCOMPARE(light.Controls(), (LightControls{true, false, false}));
        QTest::qWait(150);
        QCOMPARE(line.read(0, 0), QByteArray());
        level = 3 * 4000 << 16 | 5 * 4000;
        QByteArray heard;
        QTRY_VERIFY((heard += line.read(0, 0)).count(ColourMusicCommand(level)) >= 3);
        light.SwitchColourMusic();
        QVERIFY(!light.ColourMusicOn());
        QVERIFY(line.read(38).endsWith(StopOff));
        QCOMPARE(light.Controls(), (LightControls{true, true, true}));

        // Modes: taken as stored, then each change stored, a delete with nothing selected too; the built-in
        // mode is never deleted. A failed store keeps the list as changed and is announced once.
        QStringList stored;
        int stores = 0;
        light.SetModeStore([&](const QStringList& modes) {
            if (modes.contains(QStringLiteral("9,9"))) throw std::runtime_error("Cannot save settings.ini");
            stored = modes;
            ++stores;
        });
        QSignalSpy modes(&light, &LightController::ModesChanged);
        light.SetModes({"10,20", "30,40"});
        QCOMPARE(stores, 0);
        QVERIFY(light.AddMode(QStringLiteral("50,60")));
        QVERIFY(light.DeleteMode(1));
        QVERIFY(light.DeleteMode(0) && light.DeleteMode(-1));
        QCOMPARE(stored, (QStringList{"30,40", "50,60"}));
        QCOMPARE(stores, 4);
        QCOMPARE(modes.size(), 5);
        QCOMPARE(modes.at(1), (QVariantList{QStringList{"10,20", "30,40", "50,60"}, 3}));
        QCOMPARE(modes.at(2).last().toInt(), -1);
        QVERIFY(!light.AddMode(QStringLiteral("9,9")));
        QCOMPARE(light.Modes(), (QStringList{"30,40", "50,60", "9,9"}));
        QCOMPARE(said, QStringList{"!Cannot save settings.ini"});
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

QTEST_GUILESS_MAIN(AmbiLightTest)
#include "test_ambilight.moc"
