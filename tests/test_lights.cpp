// Static colour and AmbiLight on a pseudo-terminal as the board, read back byte for byte: colours from the
// dialog and the colour box; AmbiLight frames over a painted screen between the start's P1 all-off and the
// stop's all-off, locked controls, refused modes, a lost board, and capture following what other clients draw
// and a screen resize, for the four zones and for an LED strip's bands.

#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <array>
#include <memory>
#include <random>
#include <thread>

#include "app/main_window.h"
#include "common/color_edit.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "light/ambilight_zones.h"
#include "light/average_colour.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/strip_layout.h"
#include "light/zone_editor_window.h"
#include "platform/x11/screen_capture_x11.h"
#include "remote/remote_client.h"
#include "tests/support/light_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Xlib's names that are also Qt's or the main window's
#undef Bool
#undef Button1
#undef Button2
#undef Button5

namespace {

struct Run {
    PseudoTerminal line;
    messages::Recorder recorder;
    TestApp testApp;
    TForm1& form = *testApp.app.Form1;
    LightController& light = testApp.app.Light();
    LightControlsOf ui{form};
    Run() { light.OpenPort(line.slavePath()); }
    // A mode made by the user, selected.
    void selectMode(const QString& mode) { light.AddMode(mode); }
    // Mode row, static colour, colour music and the switch: usable, or locked as while AmbiLight runs.
    // "удалить" is usable only for a mode the user made, once a stop has unlocked it.
    void checkControls(bool running) {
        QCOMPARE(ui.Button8->isEnabled(), !running && ui.ComboBox1->currentIndex() != 0);
        QCOMPARE(light.AmbiLightOn(), running);
        QCOMPARE(ui.SpeedButton1->text(), running ? QStringLiteral("выключить") : QStringLiteral("включить"));
        for (QWidget* w : QList<QWidget*>{ui.ComboBox1, ui.Button5, ui.Button7, ui.btnVisual1})
            QVERIFY2(w->isEnabled() != running, qPrintable(w->objectName()));
        const bool open = light.PortOpen();
        for (QWidget* w : QList<QWidget*>{ui.RzColorEdit1, ui.Button1, ui.Button2})
            QVERIFY2(w->isEnabled() == (open && !running), qPrintable(w->objectName()));
        QCOMPARE(ui.SpeedButton1->isEnabled(), open);
    }
    // Everything on the line until it holds `bytes`, while the event loop (and so the timer) runs.
    void waitForLine(QByteArray& got, qsizetype bytes) {
        QTRY_VERIFY_WITH_TIMEOUT((got += line.read(0, 0)).size() >= bytes, 10000);
    }
};

// Answers the colour dialog (in Russian) as soon as it is open: notes where it opened, then confirms
// `colour`, or cancels when `colour` is invalid.
void answerDialog(QColor colour, QColor* openedAt) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *openedAt = dialog->currentColor();
        dialog->setCurrentColor(colour);
        colour.isValid() ? dialog->accept() : dialog->reject();
        QCOMPARE(dialog->windowTitle(), "Выбор цвета");
    });
}

// A mapped window of one colour (0xRRGGBB on a 24-bit screen) at `area` of its parent.
Window colourWindow(Display* display, Window parent, QRect area, unsigned long rgb,
                    bool overrideRedirect = false) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = overrideRedirect;
    attributes.background_pixel = rgb;
    const Window window = XCreateWindow(display, parent, area.x(), area.y(), unsigned(area.width()),
                                        unsigned(area.height()), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapWindow(display, window);
    return window;
}

// A nested X server on a display of its own, 1920 x 1080 and resizeable, stopped with the test.
struct Xephyr {
    QProcess process;
    QString display;
    explicit Xephyr(const QStringList& extra) {
        process.start("Xephyr", QStringList{"-displayfd", "1", "-screen", "1920x1080x24", "-resizeable",
                                            "-nolisten", "tcp", "-noreset"} +
                                    extra);
        if (!process.waitForStarted(5000) ||
            !QTest::qWaitFor([this] { return process.canReadLine(); }, 10000))
            return;
        display = ":" + QString::fromLatin1(process.readLine()).trimmed();
    }
    ~Xephyr() {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// The servers a capture is checked on: with shared memory and the server's reports of drawing, without shared
// memory, without the reports (then every capture grabs), and without XRender (then a strip's bands are
// grabbed whole, not sampled).
const struct CaptureServer {
    QStringList extra;
    bool shared, damage, samples;
} CaptureServers[] = {{{}, true, true, true},
                      {{"-extension", "MIT-SHM"}, false, true, false},
                      {{"-extension", "DAMAGE"}, true, false, true},
                      {{"-extension", "RENDER"}, true, true, false}};

// The means of `areas` of `screen` placed on the root window, from one XGetImage of the whole root: over
// every pixel, or over the sample of the root's pixels at even coordinates only (every 2nd pixel of every
// 2nd row).
std::vector<quint32> rootAreaColours(Display* display, const QRect& screen, std::span<const QRect> areas,
                                     bool sample = false) {
    XWindowAttributes root{};
    XGetWindowAttributes(display, DefaultRootWindow(display), &root);
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, unsigned(root.width),
                              unsigned(root.height), AllPlanes, ZPixmap);
    const PixelBlock pixels{reinterpret_cast<const uchar*>(image->data), image->width, image->height,
                            image->bytes_per_line};
    std::vector<quint32> colours;
    if (!sample) {
        colours = AreaColours(pixels, -screen.topLeft(), areas);
    } else {
        // The sample as an image of its own; root pixels l to r (r not included) are its (l + 1) / 2 to
        // (r + 1) / 2.
        std::vector<quint32> even;
        for (int y = 0; y < image->height; y += 2)
            for (int x = 0; x < image->width; x += 2) even.push_back(quint32(XGetPixel(image, x, y)));
        const PixelBlock block{reinterpret_cast<const uchar*>(even.data()), (image->width + 1) / 2,
                               (image->height + 1) / 2, qsizetype((image->width + 1) / 2) * 4};
        std::vector<QRect> inSample;
        for (const QRect& area : areas) {
            const QRect on =
                area.translated(screen.topLeft()).intersected(QRect(0, 0, root.width, root.height));
            const QPoint from((on.left() + 1) / 2, (on.top() + 1) / 2);
            inSample.push_back(
                on.isEmpty()
                    ? QRect()
                    : QRect(from, QPoint((on.right() + 2) / 2, (on.bottom() + 2) / 2) - QPoint(1, 1)));
        }
        colours = AreaColours(block, {}, inSample);
    }
    XDestroyImage(image);
    return colours;
}

// Noise over the whole root window, each pixel's components drawn at random from a fixed seed.
void paintNoise(Display* display, QSize size) {
    std::mt19937 random(27);
    std::vector<quint32> noise(size_t(size.width()) * size_t(size.height()));
    for (quint32& pixel : noise) pixel = random() & 0xFFFFFF;
    const int screen = DefaultScreen(display);
    XImage* image = XCreateImage(display, DefaultVisual(display, screen), 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(noise.data()), unsigned(size.width()),
                                 unsigned(size.height()), 32, 0);
    XPutImage(display, DefaultRootWindow(display), DefaultGC(display, screen), image, 0, 0, 0, 0,
              unsigned(size.width()), unsigned(size.height()));
    image->data = nullptr;  // the vector's
    XDestroyImage(image);
    XSync(display, False);
}

void fillColumns(QPainter& painter, QRect area, QColor even, QColor odd) {
    for (int x = area.left(); x <= area.right(); ++x)
        painter.fillRect(x, area.top(), 1, area.height(), (x % 2) ? odd : even);
}

}  // namespace

class LightsTest : public QObject {
    Q_OBJECT
    QTemporaryDir config_;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path())); }
    void staticColoursReachTheLineZoneByZone() {
        Run run;
        auto& [line, recorder, testApp, form, light, ui] = run;
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QCOMPARE(QColorDialog::customColor(i), QColor(Qt::white));

        using Case = std::pair<QColor, QByteArray>;
        QColor openedAt, confirmed = Qt::black;
        for (const auto& [colour, expected] : {Case{QColor(255, 255, 255), "B8C8A8E8F8D8H8G8I8K8J8L8"},
                                               Case{QColor(16, 16, 16), "B0C0A0E0F0D0H0G0I0K0J0L0"},
                                               Case{QColor(17, 17, 17), "B1C1A1E1F1D1H1G1I1K1J1L1"},
                                               Case{QColor(64, 255, 128), "B2C8A4E2F8D4H2G8I4K2J8L4"}}) {
            answerDialog(colour, &openedAt);
            ui.Button1->click();
            QCOMPARE(openedAt, confirmed);  // at black first, then at the colour last confirmed
            QCOMPARE(line.read(24), expected);
            QCOMPARE(ui.RzColorEdit1->SelectedColor(), BgrFromColor(colour));
            confirmed = colour;
        }
        answerDialog(QColor(), &openedAt);  // cancelled: nothing sent, nothing changed
        ui.Button1->click();
        QCOMPARE(line.read(1, 100), QByteArray());

        // The same grid colour twice is sent twice; light off keeps the box's colour.
        ui.RzColorEdit1->ChooseFromGrid(0x0000FF);
        ui.RzColorEdit1->ChooseFromGrid(0x0000FF);
        QCOMPARE(line.read(48), QByteArray("B8C0A0E8F0D0H8G0I0K8J0L0").repeated(2));
        ui.Button2->click();
        QCOMPARE(line.read(38), QByteArray(AllOffCommand));
        QCOMPARE(ui.RzColorEdit1->SelectedColor(), 0x0000FFu);
        QVERIFY(recorder.shown().isEmpty());

        // Closed: each of the three says so and sends nothing (the dialog still opens first).
        light.ClosePort();
        ui.RzColorEdit1->ChooseFromGrid(0x00FF00);
        QVERIFY(!ui.Button1->isEnabled() && !ui.Button2->isEnabled());
        // Clicks already on their way when the port closed still reach the handlers.
        ui.Button1->setEnabled(true);
        ui.Button2->setEnabled(true);
        ui.Button2->click();
        answerDialog(Qt::red, &openedAt);
        ui.Button1->click();
        QCOMPARE(openedAt, confirmed);
        QCOMPARE(recorder.texts(), QStringList(3, QStringLiteral("Программа не подключена к COM порту!")));
        QCOMPARE(line.read(1, 100), QByteArray());
        QVERIFY(QDir(config_.path()).isEmpty());  // Qt stored no custom colours of its own
    }

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
            // Three rows, each followed by a pixel that is not part of the block.
            const size_t stride = size_t(c.width) + 1;
            std::vector<quint32> pixels(stride * 3);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = i % stride == size_t(c.width) ? ~c.even : (i % stride % 2) ? c.odd : c.even;
            const PixelBlock block{reinterpret_cast<const uchar*>(pixels.data()), c.width, 3,
                                   qsizetype(stride * 4)};
            QCOMPARE(AverageColour(block), c.mean);
        }
    }

    void framesFollowTheScreen() {
        // Zones of mode 0,150 on 1920 x 1080. Left upper: means of red 16, green 16.5 and blue 47.5, which
        // give levels 0, 0 and 2 only when each mean is rounded half to even before its level.
        QPixmap screen(1920, 1080);
        screen.fill(Qt::black);
        QPainter p(&screen);
        fillColumns(p, {0, 150, 100, 300}, QColor(0, 16, 47), QColor(32, 17, 48));
        p.fillRect(0, 630, 100, 300, QColor(255, 0, 0));
        p.fillRect(1820, 150, 100, 300, QColor(0, 255, 0));
        p.fillRect(1820, 630, 100, 300, QColor(40, 90, 200));
        p.end();
        QLabel backdrop;  // a borderless window over the whole screen
        backdrop.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        backdrop.setPixmap(screen);
        backdrop.setGeometry(0, 0, 1920, 1080);
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        const std::pair<QString, QByteArray> cases[] = {
            {"0,150", "E0F0D2B8C0A0H0G8I0K1J3L6"},
            // Half of each rectangle off screen: the on-screen half alone is averaged.
            {"-50,150", "E0F0D2B8C0A0H0G8I0K1J3L6"},
            {"2147483647,-2147483648", "E0F0D0B0C0A0H0G0I0K0J0L0"},  // wholly off screen: black
        };
        for (const auto& [mode, frame] : cases) {
            Run run;
            run.selectMode(mode);
            // Started by the remote while "обзор" shows the mode: the preview ends, so the frames see the
            // screen and not the preview's panels.
            TForm5& preview = *run.testApp.app.Form5;
            QTest::mousePress(run.ui.Button7, Qt::LeftButton);
            QVERIFY(QTest::qWaitForWindowExposed(&preview));
            emit run.testApp.app.Remote().Action(RemoteAction::AmbiLight);
            QVERIFY(!preview.isVisible());
            run.checkControls(true);
            QByteArray got;
            run.waitForLine(got, 41 + 3 * 24);
            QTest::mouseRelease(run.ui.Button7, Qt::LeftButton);
            run.ui.SpeedButton1->click();
            run.checkControls(false);
            got += run.line.read(38, 2000);
            QVERIFY2(got.startsWith(P1AllOffCommand) && got.endsWith(AllOffCommand), got.constData());
            const QByteArray frames = got.mid(41, got.size() - 41 - 38);
            QCOMPARE(frames, frame.repeated(int(frames.size() / 24)));
            QVERIFY(run.recorder.shown().isEmpty());
        }
    }

    void refusesToStartWithoutAUsableMode() {
        Run run;
        using Mode = std::pair<const char*, const char*>;  // the mode, and the part of it that is no number
        for (const auto& [mode, bad] : {Mode{"a,b", "b"}, Mode{"1", ""}, Mode{",", ""}, Mode{" 1,2", " 1"},
                                        Mode{"99999999999,5", "99999999999"}, Mode{"5,-", "-"}}) {
            run.selectMode(mode);
            run.ui.SpeedButton1->click();
            const QString error = QStringLiteral("'%1' is not a valid integer value").arg(bad);
            QCOMPARE(run.recorder.shown().last(), (messages::Shown{messages::Kind::Error, error}));
            run.checkControls(false);
            QVERIFY(!run.ui.SpeedButton1->isChecked());  // the click's pressed look is taken back
        }
        run.ui.choose(-1);
        run.ui.SpeedButton1->click();
        QCOMPARE(run.recorder.shown().last(), (messages::Shown{messages::Kind::Message, "Не выбран режим!"}));
        QVERIFY(!run.ui.SpeedButton1->isChecked());
        run.ui.choose(0);
        run.light.ClosePort();
        emit run.testApp.app.Remote().Action(RemoteAction::AmbiLight);  // as the remote's key does
        QCOMPARE(run.recorder.shown().last().text, QStringLiteral("Программа не подключена к COM порту!"));
        run.checkControls(false);
        QCOMPARE(run.recorder.shown().size(), 8);
        QCOMPARE(run.line.read(1, 100), QByteArray());
    }

    void boardGoneMidRunStopsOnceWithoutAllOff() {
        Run run;
        run.ui.SpeedButton1->click();
        QByteArray got;
        run.waitForLine(got, 41 + 24);
        run.line.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!run.light.AmbiLightOn() && !run.light.PortOpen(), 5000);
        QTest::qWait(200);
        run.checkControls(false);
        QCOMPARE(run.recorder.texts(), QStringList{"WriteFile function failed (win error code: 5)"});
    }

    void captureFollowsDrawingAndResizes() {
        // Xvfb's screen cannot be resized; a nested Xephyr's can.
        for (const CaptureServer& server : CaptureServers) {
            const Xephyr xephyr(server.extra);
            const QString& display = xephyr.display;
            QVERIFY(!display.isEmpty());
            QCOMPARE(QProcess::execute("xsetroot", {"-display", display, "-solid", "#ff8000"}), 0);
            const quint32 orange = 0x000080FF;
            {
                ScreenCaptureX11 capture(display.toLatin1());
                QCOMPARE(capture.SharedMemory(), server.shared);
                QCOMPARE(capture.WatchesDamage(), server.damage);
                QCOMPARE(AverageColour(capture.Grab(3, 1820, 630, 100, 300)), orange);
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1280x1024"}), 0);
                QTRY_COMPARE_WITH_TIMEOUT(capture.RootSize(), QSize(1280, 1024), 5000);
                QCOMPARE(AverageColour(capture.Grab(2, 1180, 150, 100, 300)), orange);
                const PixelBlock part = capture.Grab(3, 1230, 900, 100, 300);
                QCOMPARE(QSize(part.width, part.height), QSize(50, 124));
                QCOMPARE(AverageColour(part), orange);
                QCOMPARE(capture.Grab(2, 1820, 150, 100, 300).width, 0);
                // Grabs alone follow a growth: the server's news come in with them.
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1920x1080"}), 0);
                QTRY_COMPARE_WITH_TIMEOUT(capture.Grab(2, 1230, 150, 100, 300).width, 100, 5000);
                QCOMPARE(AverageColour(capture.Grab(3, 1820, 630, 100, 300)), orange);

                // Mode 0,150's zones captured as a tick does, on the screen's size now: the grabs asked for
                // first, then zone by zone.
                using Frame = std::array<quint32, 4>;
                const QRect screen(0, 0, 1920, 1080);
                const auto areas = ZoneAreas(0, 150, 1920, 1080);
                const auto frameOf = [&screen](ScreenCaptureX11& from, const std::array<ZoneArea, 4>& at) {
                    from.Prepare(screen, at);
                    Frame colours;
                    for (int slot = 0; slot < 4; ++slot)
                        colours[size_t(slot)] = from.ZoneColour(slot, screen, at[size_t(slot)]);
                    return colours;
                };
                const auto frame = [&] { return frameOf(capture, areas); };
                // Another client draws; the very next frame shows it, and so does the one after. Its second
                // round trip returns only after the server has sent the news of the drawing to every client.
                const std::unique_ptr<Display, int (*)(Display*)> painter(XOpenDisplay(qPrintable(display)),
                                                                          XCloseDisplay);
                const auto drawn = [&](const char* what, const Frame& expected) {
                    XSync(painter.get(), False);
                    XSync(painter.get(), False);
                    QVERIFY2(frame() == expected, what);
                    QVERIFY2(frame() == expected, what);
                };
                const Window root = DefaultRootWindow(painter.get());
                const Window frameWindow = colourWindow(painter.get(), root, {0, 630, 100, 300}, 0xFF8000);
                const Window framed = colourWindow(painter.get(), frameWindow, {0, 0, 50, 300}, 0xFF8000);
                drawn("nothing in any zone yet", {orange, orange, orange, orange});
                // Left upper: an application's window. Left lower, half green (red 127.5 and green 191.5,
                // both to the even neighbour): drawing in a window inside another, as a window manager frames
                // an application's. Right upper, 100 black pixels of 30000 (red 254.15, green 127.57):
                // drawing on the root window. Right lower, 300 white ones (green 129.27, blue 2.55): an
                // override-redirect window.
                const Window topLevel = colourWindow(painter.get(), root, {0, 150, 100, 300}, 0x0000FF);
                GC gc = DefaultGC(painter.get(), 0);
                XSetForeground(painter.get(), gc, 0x00FF00);
                XFillRectangle(painter.get(), framed, gc, 0, 0, 50, 300);
                XSetForeground(painter.get(), gc, 0x000000);
                XFillRectangle(painter.get(), root, gc, 1850, 200, 10, 10);
                colourWindow(painter.get(), root, {1830, 700, 10, 30}, 0xFFFFFF, true);
                const Frame changed{0x00FF0000, 0x0000C080, 0x000080FE, 0x000381FF};
                drawn("every zone drawn over", changed);
                colourWindow(painter.get(), root, {800, 400, 200, 200}, 0xFFFFFF);
                drawn("a window outside every zone", changed);
                XUnmapWindow(painter.get(), topLevel);
                const Frame still{orange, changed[1], changed[2], changed[3]};
                drawn("the application's window gone", still);

                // A restart with another mode on the still screen: the colours at the zones' new rectangles,
                // as a capture made now finds them, not those last found at the old ones; and back.
                const auto otherAreas = ZoneAreas(0, 0, 1920, 1080);
                const Frame other = frameOf(capture, otherAreas);
                ScreenCaptureX11 fresh(display.toLatin1());
                QCOMPARE(other, frameOf(fresh, otherAreas));
                QVERIFY(other != still);
                QCOMPARE(frame(), still);

                // The screen shrinks and grows back: every zone is looked at anew, and shows what the server
                // repainted meanwhile.
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1280x1024"}), 0);
                QCOMPARE(QProcess::execute("xrandr", {"-display", display, "-s", "1920x1080"}), 0);
                XSync(painter.get(), False);
                XSync(painter.get(), False);
                ScreenCaptureX11 afterResize(display.toLatin1());
                QCOMPARE(frame(), frameOf(afterResize, areas));

                // A quiet tick waits for what the server is drawing while it looks: drawn after the capture
                // found no news, and before the server answers its round trip, it is in that very frame.
                if (server.damage) {
                    QCOMPARE(frame(), frame());
                    XGrabServer(painter.get());
                    XSync(painter.get(), False);
                    Frame seen{};
                    std::thread tick([&] { seen = frame(); });
                    QThread::msleep(300);  // the tick has looked and waits for the server
                    XSetForeground(painter.get(), gc, 0x0000FF);
                    XFillRectangle(painter.get(), root, gc, 0, 150, 100, 300);
                    XUngrabServer(painter.get());
                    XFlush(painter.get());
                    tick.join();
                    QCOMPARE(seen[0], 0x00FF0000u);
                }
            }
        }
    }

    void stripCaptureReadsTheEdgeBands() {
        // A strip of 300 LEDs, and a few areas of other shapes, over a picture of noise: each area's mean as
        // the whole root's pixels give it, the part off the root left out; over the root's pixels at even
        // coordinates where the server copies a sample (with shared memory).
        for (const CaptureServer& server : CaptureServers) {
            const Xephyr xephyr(server.extra);
            QVERIFY(!xephyr.display.isEmpty());
            const std::unique_ptr<Display, int (*)(Display*)> painter(
                XOpenDisplay(qPrintable(xephyr.display)), XCloseDisplay);
            Display* display = painter.get();
            paintNoise(display, {1920, 1080});
            ScreenCaptureX11 capture(xephyr.display.toLatin1());
            StripLayout layout{96, 54, 96, 54};
            layout.bottomGap = 6;
            const std::vector<QRect> strip = LedAreas(layout, {1920, 1080});
            QCOMPARE(strip.size(), size_t(300));
            const QRect screen(0, 0, 1920, 1080);
            const auto check = [&](const char* what, const QRect& at, std::span<const QRect> areas,
                                   qint64 grabs) {
                const qint64 before = capture.BandGrabs();
                const std::vector<quint32> colours = capture.LedColours(at, areas);
                QVERIFY2(colours == rootAreaColours(display, at, areas, server.samples), what);
                // Without the server's reports every band on the root is grabbed each time.
                if (grabs >= 0) QCOMPARE(capture.BandGrabs() - before, server.damage ? grabs : 4);
            };
            check("the four bands", screen, strip, 4);
            check("nothing drawn", screen, strip, 0);
            // Drawn over the top band only (its LEDs 40 to 47), by another client: seen at the very next
            // call, and the other bands not grabbed again.
            GC gc = DefaultGC(display, 0);
            XSetForeground(display, gc, 0x2060A0);
            XFillRectangle(display, DefaultRootWindow(display), gc, 800, 30, 150, 40);
            XSync(display, False);
            XSync(display, False);
            check("the top band drawn over", screen, strip, 1);

            // The screen off the root's origin, so that the top, left and bottom bands reach off the root;
            // with an area wholly off it (black), one in the screen's middle, one overlapping an LED's, one
            // across the right band and one empty.
            std::vector<QRect> areas = strip;
            areas.insert(areas.end(), {QRect(-200, -20, 50, 10), QRect(900, 500, 37, 23),
                                       QRect(10, 10, 100, 90), QRect(1700, 300, 400, 7), QRect(5, 5, 0, 4)});
            const QRect offOrigin(-100, 60, 1920, 1080);
            check("the screen off the root's origin", offOrigin, areas, 4);
            QCOMPARE(capture.LedColours(offOrigin, areas)[300], 0u);

            // The root shrinks, repainted, and grows back: the bands follow its size.
            QCOMPARE(QProcess::execute("xrandr", {"-display", xephyr.display, "-s", "1280x1024"}), 0);
            paintNoise(display, {1280, 1024});
            check("a smaller root", screen, strip, -1);
            QCOMPARE(QProcess::execute("xrandr", {"-display", xephyr.display, "-s", "1920x1080"}), 0);
            paintNoise(display, {1920, 1080});
            check("the root grown back", screen, strip, -1);

            // An area 1 pixel wide may hold no pixel of a sample: its band is grabbed whole, every mean
            // exact.
            const std::vector<QRect> thin{QRect(3, 500, 1, 30), QRect(0, 400, 192, 50)};
            QCOMPARE(capture.LedColours(screen, thin), rootAreaColours(display, screen, thin));
        }
    }
};

VARNEX_TEST_MAIN(LightsTest)
#include "test_lights.moc"
