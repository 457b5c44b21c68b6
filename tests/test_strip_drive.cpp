// The light controller driving an LED strip, read back as the strip's controller reads it: Adalight frames
// from a pseudo-terminal, WLED and DDP datagrams from a UDP socket on 127.0.0.1. One colour with the colour
// order, limit and gamma, the board's commands and colour music on the board's zones, the stop's all-off,
// the repeat of a still picture; AmbiLight's colours in strip order, long strips in DNRGB pieces, a layout
// that does not fit; smoothing; a failed line stopping the light once; and the board's line as before when
// the output is the board.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>

#include "common/cp1251.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "settings/settings.h"
#include "tests/support/image_capture.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"
#include "tools/board/strip_receiver.h"

namespace {

const QSize Screen(1920, 1080);

// 12 LEDs from the bottom left corner, clockwise: the left side up (LEDs 0-1), the top left to right (2-5),
// the right side down (6-7), the bottom right to left (8-11). The bands are 10 % deep: 108 pixels at the top
// and bottom, 192 at the sides.
StripSettings smallStrip(StripOutput::Kind kind) {
    StripSettings settings;
    settings.layout = {4, 2, 4, 2, StripCorner::BottomLeft, StripDirection::Clockwise, 0, 10};
    settings.output.kind = kind;
    settings.output.baud = 1000000;
    settings.output.host = QStringLiteral("127.0.0.1");
    return settings;
}

// The sides of the screen in colours of their own; the top band's left half in another one.
const QRgb Top = qRgb(200, 0, 0), TopLeftHalf = qRgb(250, 250, 0), Right = qRgb(0, 200, 0),
           Bottom = qRgb(0, 0, 200), Left = qRgb(90, 60, 30), Dark = qRgb(0, 0, 0);
QImage paintedSides() {
    QImage desktop(Screen, QImage::Format_RGB32);
    desktop.fill(Qt::black);
    QPainter painter(&desktop);
    painter.fillRect(0, 0, 1920, 108, QColor(Top));
    painter.fillRect(0, 0, 960, 108, QColor(TopLeftHalf));
    painter.fillRect(1920 - 192, 108, 192, 1080 - 216, QColor(Right));
    painter.fillRect(0, 1080 - 108, 1920, 108, QColor(Bottom));
    painter.fillRect(0, 108, 192, 1080 - 216, QColor(Left));
    return desktop;
}

// A controller whose captures show `desktop`, its notices and errors noted in order (errors marked "!").
struct Lights {
    LightController light;
    QStringList said;
    ImageCapture* capture = nullptr;
    quint32 level = 0xFFFFFFFF;
    explicit Lights(const QImage& desktop = paintedSides()) {
        light.SetScreen([] { return QRect(QPoint(), Screen); });
        light.SetCaptureFactory([this, desktop] {
            auto made = std::make_unique<ImageCapture>(desktop);
            capture = made.get();
            return made;
        });
        light.SetLevelSource([this] { return level; });
        QObject::connect(&light, &LightController::Notice, [this](const QString& text) { said << text; });
        QObject::connect(&light, &LightController::Failed,
                         [this](const QString& text) { said << "!" + text; });
    }
};

// Frames as an Adalight board reads them off its pseudo-terminal, the event loop running meanwhile.
struct AdalightLine {
    PseudoTerminal pty;
    AdalightParser parser;
    QList<StripColours> frames;
    // The next frame, or none within `ms`.
    StripColours Next(int ms = 3000) {
        QDeadlineTimer deadline(ms);
        for (;;) {
            parser.Feed(pty.read(0, 0));
            frames += parser.TakeFrames();
            if (!frames.isEmpty()) return frames.takeFirst();
            if (deadline.hasExpired()) return {};
            QTest::qWait(2);
        }
    }
    // Frames up to the first that is `wanted`: whether it came within `ms`.
    bool WaitFor(const StripColours& wanted, int ms = 3000) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            if (Next(int(deadline.remainingTime())) == wanted) return true;
        return false;
    }
};

// Datagrams as a WLED or DDP controller gets them on 127.0.0.1.
struct UdpLine {
    QUdpSocket socket;
    UdpLine() { socket.bind(QHostAddress::LocalHost, 0); }
    int Port() const { return socket.localPort(); }
    QByteArray Next(int ms = 3000) {
        QDeadlineTimer deadline(ms);
        while (!socket.hasPendingDatagrams() && !deadline.hasExpired()) QTest::qWait(2);
        if (!socket.hasPendingDatagrams()) return {};
        QByteArray datagram(qMax<qint64>(socket.pendingDatagramSize(), 0), Qt::Uninitialized);
        socket.readDatagram(datagram.data(), datagram.size());
        return datagram;
    }
};

StripColours leds(std::initializer_list<std::pair<int, QRgb>> runs) {
    StripColours colours;
    for (const auto& [count, colour] : runs) colours += StripColours(count, colour);
    return colours;
}

}  // namespace

class StripDriveTest : public QObject {
    Q_OBJECT

private slots:
    // Adalight in GRB order: one colour through the limit and gamma, then at once without them; the board's
    // commands and colour music in the zones' colours; the stop's all-off; a still picture repeated; and the
    // board's line byte for byte once the output is the board again.
    void oneColourAndTheBoardsCommandsOnAnAdalightStrip() {
        AdalightLine line;
        Lights lights;
        auto& [light, said, capture, level] = lights;
        StripSettings strip = smallStrip(StripOutput::Kind::Adalight);
        strip.output.serialPort = line.pty.slavePath();
        strip.output.order = ColourOrder::GRB;
        strip.output.brightnessLimit = 50;
        strip.output.gamma = 2.0;
        light.SetStrip(strip);
        // No port needed: the switch and the colour row are usable.
        QCOMPARE(light.Controls(), (LightControls{true, true, true}));

        // Red 0x40, green 0x80, blue 0xC0: 255 × (c / 255)² × 0.5 gives 8, 32 and 72, sent green first.
        light.SetColour(0x00C08040);
        QCOMPARE(line.Next(), StripColours(12, qRgb(32, 8, 72)));
        strip.output.brightnessLimit = 100;
        strip.output.gamma = 1.0;
        light.SetStrip(strip);
        QCOMPARE(line.Next(), StripColours(12, qRgb(0x80, 0x40, 0xC0)));

        // The left upper zone full red: the left side's upper LED and the top's left half. The other zones
        // keep the colour as the board took it, in levels 2, 4 and 6 (64, 128 and 191).
        light.Send("E8F0D0");
        const QRgb red = qRgb(0, 255, 0), levels = qRgb(128, 64, 191);
        QCOMPARE(line.Next(), leds({{1, levels}, {3, red}, {8, levels}}));

        // Colour music: step 1 of the right channel lights the left zones blue 1 (32), step 7 of the left
        // one the right zones red 8 and green 6 (255, 191); then the all-off, at once.
        level = 4000u << 16 | 28000u;
        light.SwitchColourMusic();
        const QRgb leftSide = qRgb(0, 0, 32), rightSide = qRgb(191, 255, 0);
        QVERIFY(line.WaitFor(leds({{4, leftSide}, {6, rightSide}, {2, leftSide}})));
        QCOMPARE(light.Controls(), (LightControls{true, false, false}));
        light.SwitchColourMusic();
        const StripColours dark(12, Dark);
        QVERIFY(line.WaitFor(dark, 500));
        QCOMPARE(light.Controls(), (LightControls{true, true, true}));

        // The all-off hands the strip back: it is not sent again. A still picture is sent again every
        // second, and only then, also a dark one.
        QCOMPARE(line.Next(1500), StripColours());
        for (const quint32 colour : {0x00C08040u, 0u}) {
            light.SetColour(colour);
            const StripColours shown = line.Next();
            QElapsedTimer still;
            still.start();
            QCOMPARE(line.Next(2000), shown);
            QVERIFY2(still.elapsed() > 800, qPrintable(QString::number(still.elapsed())));
        }
        QVERIFY(said.isEmpty());

        // The board again: the port rule, then the board's own bytes; nothing more reaches the strip.
        light.SetStrip(StripSettings{});
        QCOMPARE(light.Controls(), (LightControls{true, false, false}));
        light.SetColour(0x00C08040);
        QCOMPARE(said, QStringList{"Программа не подключена к COM порту!"});
        PseudoTerminal board;
        light.OpenPort(board.slavePath());
        light.SetColour(0x00C08040);
        QCOMPARE(board.read(24), QByteArray("B2C4A6E2F4D6H2G4I6K2J4L6"));
        QCOMPARE(line.Next(1500), StripColours());
    }

    // A strip left for the board while colour music runs goes dark: the stop's all-off goes out before the
    // line is let go, though a frame is still on its way on a slow line (300 LEDs at 115200 baud, 79 ms).
    void aStripLeftForTheBoardGoesDark() {
        AdalightLine line;
        Lights lights;
        auto& [light, said, capture, level] = lights;
        StripSettings strip = smallStrip(StripOutput::Kind::Adalight);
        strip.layout = {100, 50, 100, 50, StripCorner::BottomLeft, StripDirection::Clockwise, 0, 10};
        strip.output.serialPort = line.pty.slavePath();
        strip.output.baud = 115200;
        light.SetStrip(strip);
        level = 4000u << 16 | 28000u;
        QTimer changing;  // a new level every tick keeps the line busy
        QObject::connect(&changing, &QTimer::timeout, [&level] { level ^= 0x60006000u; });
        changing.start(10);
        light.SwitchColourMusic();
        for (int frame = 0; frame < 3; ++frame) QVERIFY(!line.Next().isEmpty());
        light.SetStrip(StripSettings{});
        QVERIFY(!light.ColourMusicOn());
        StripColours last;
        for (StripColours next; !(next = line.Next(500)).isEmpty();) last = next;
        QCOMPARE(last, StripColours(300, Dark));
        QVERIFY(said.isEmpty());
    }

    // AmbiLight on WLED: each LED its side's colour, in strip order from its start corner and direction
    // (the layout applied while it runs); a strip longer than 490 LEDs in DNRGB pieces; a layout that does
    // not fit refused with its reason.
    void ambiLightInStripOrderOnWled() {
        UdpLine udp;
        Lights lights;
        auto& [light, said, capture, level] = lights;
        StripSettings strip = smallStrip(StripOutput::Kind::Wled);
        strip.output.udpPort = udp.Port();
        light.SetStrip(strip);
        light.SwitchAmbiLight(std::nullopt);  // a strip needs no mode
        QVERIFY(light.AmbiLightOn());
        const auto next = [&] {
            const std::optional<WledPacket> packet = ParseWled(udp.Next());
            return packet && packet->protocol == WledPacket::Drgb && packet->timeoutSeconds == 2
                       ? packet->colours
                       : StripColours{};
        };
        QCOMPARE(next(), StripColours(12, Dark));  // the start's all-off
        QCOMPARE(next(), leds({{2, Left}, {2, TopLeftHalf}, {2, Top}, {2, Right}, {4, Bottom}}));
        // A still screen puts nothing more on the line until the repeat a second later, so that a change
        // finds it free; the change goes out at its tick.
        QVERIFY(udp.Next(400).isEmpty());
        capture->desktop.fill(Qt::white);
        QCOMPARE(next(), StripColours(12, qRgb(255, 255, 255)));
        capture->desktop = paintedSides();
        QCOMPARE(next(), leds({{2, Left}, {2, TopLeftHalf}, {2, Top}, {2, Right}, {4, Bottom}}));

        // From the top left corner, counter-clockwise: down the left side, the bottom left to right, up the
        // right side, the top right to left.
        strip.layout.start = StripCorner::TopLeft;
        strip.layout.direction = StripDirection::CounterClockwise;
        light.SetStrip(strip);
        QTRY_COMPARE(next(), leds({{2, Left}, {4, Bottom}, {2, Right}, {2, Top}, {2, TopLeftHalf}}));

        // 600 LEDs, top and bottom: DNRGB pieces of 489 and 111 LEDs.
        strip.layout = {300, 0, 300, 0, StripCorner::TopLeft, StripDirection::Clockwise, 0, 10};
        light.SetStrip(strip);
        QList<WledPacket> pieces;
        QTRY_VERIFY((pieces += ParseWled(udp.Next()).value_or(WledPacket{}), pieces.last().start == 489));
        const WledPacket head = pieces.at(pieces.size() - 2), tail = pieces.last();
        QCOMPARE(head.protocol, WledPacket::Dnrgb);
        QCOMPARE(head.start, 0);
        QCOMPARE(head.colours.size() + tail.colours.size(), 600);
        QCOMPARE(head.colours + tail.colours, leds({{150, TopLeftHalf}, {150, Top}, {300, Bottom}}));

        // A layout the screen cannot take stops AmbiLight saying why, and does not let it start.
        strip.layout.top = 1920;
        light.SetStrip(strip);
        QTRY_VERIFY(!light.AmbiLightOn());
        light.SwitchAmbiLight(QStringLiteral("0,150"));
        QVERIFY(!light.AmbiLightOn());
        const QString fault = QStringLiteral("Светодиодов на ленте больше 1000 (всего 2220).");
        QCOMPARE(said, (QStringList{fault, fault}));
        // Switched off before its tick finds such a layout, colour music stops all the same.
        strip.layout.top = 300;
        light.SetStrip(strip);
        light.SwitchColourMusic();
        strip.layout.top = 1920;
        light.SetStrip(strip);
        light.SwitchColourMusic();
        QVERIFY(!light.ColourMusicOn());
        QCOMPARE(said.size(), 2);
    }

    // On DDP with 300 ms smoothing AmbiLight's change is blended in, frame by frame; the all-off and one
    // colour show at once.
    void smoothingBlendsAmbiLightOnly() {
        UdpLine udp;
        QImage black(Screen, QImage::Format_RGB32);
        black.fill(Qt::black);
        Lights lights(black);
        auto& [light, said, capture, level] = lights;
        StripSettings strip = smallStrip(StripOutput::Kind::Ddp);
        strip.output.udpPort = udp.Port();
        strip.output.smoothing = 300;
        light.SetStrip(strip);
        DdpStrip receiver;
        int sequence = 0;
        const auto next = [&] {
            for (QByteArray datagram; !(datagram = udp.Next()).isEmpty();) {
                // One packet a picture here: each pushed, numbered one on from the one before (15, then 1).
                if (sequence != 0 && datagram[1] != sequence % 15 + 1) return StripColours();
                sequence = datagram[1];
                if (const std::optional<StripColours> frame = receiver.Apply(*ParseDdp(datagram)))
                    return *frame;
            }
            return StripColours();
        };
        light.SwitchAmbiLight(std::nullopt);
        QCOMPARE(next(), StripColours(12, Dark));
        capture->desktop.fill(Qt::white);
        QElapsedTimer blending;
        blending.start();
        QList<int> reds;
        while (reds.isEmpty() || reds.last() != 255) {
            const StripColours frame = next();
            QVERIFY(!frame.isEmpty() && blending.elapsed() < 5000);
            QVERIFY(frame == StripColours(12, frame.first()));
            if (qRed(frame.first()) != 0 || !reds.isEmpty()) reds << qRed(frame.first());
        }
        // The first frame goes one frame's way (10 / 300 of 255), the next ones on up.
        QVERIFY2(reds.first() >= 5 && reds.first() <= 20, qPrintable(QString::number(reds.first())));
        QVERIFY(std::is_sorted(reds.begin(), reds.end()));
        QVERIFY2(reds.size() > 20 && blending.elapsed() > 300, qPrintable(QString::number(reds.size())));

        // The frames still on their way are white; the stop's black follows them at once.
        light.SwitchAmbiLight(std::nullopt);
        QVERIFY(!light.AmbiLightOn());
        StripColours frame;
        while ((frame = next()) == StripColours(12, qRgb(255, 255, 255))) {
        }
        QCOMPARE(frame, StripColours(12, Dark));
        light.SetColour(0x00FF8000);
        QCOMPARE(next(), StripColours(12, qRgb(0, 0x80, 0xFF)));
        QVERIFY(said.isEmpty());
    }

    // A line that fails stops what runs, once, with the line's own words, and nothing is written after it;
    // the next action opens the line anew. A strip with no port named says so.
    void aFailedLineStopsTheLightOnce() {
        Lights lights;
        auto& [light, said, capture, level] = lights;
        {
            AdalightLine line;
            StripSettings strip = smallStrip(StripOutput::Kind::Adalight);
            strip.output.serialPort = line.pty.slavePath();
            light.SetStrip(strip);
            light.SwitchAmbiLight(std::nullopt);
            QVERIFY(!line.Next().isEmpty());
            line.pty.closeMaster();
            QTRY_VERIFY(!light.AmbiLightOn());
            QTest::qWait(200);
            QCOMPARE(said, QStringList{
                               QStringLiteral("!Не удалось отправить данные в порт %1! (Input/output error)")
                                   .arg(line.pty.slavePath())});
            QCOMPARE(light.Controls(), (LightControls{true, true, true}));
        }
        // A host no resolver takes (a label longer than 63 characters): no query leaves the machine.
        said.clear();
        StripSettings strip = smallStrip(StripOutput::Kind::Wled);
        strip.output.host = QString(64, QLatin1Char('a')) + QStringLiteral(".invalid");
        light.SetStrip(strip);
        level = 4000;
        light.SwitchColourMusic();
        QTRY_VERIFY(!light.ColourMusicOn());
        QTest::qWait(200);
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().startsWith("!Не удалось найти адрес " + strip.output.host + "! ("),
                 qPrintable(said.first()));
        light.SetColour(0x00FFFFFF);
        QTRY_COMPARE(said.size(), 2);
        QCOMPARE(said.last(), said.first());

        strip = smallStrip(StripOutput::Kind::Adalight);
        light.SetStrip(strip);
        light.SetColour(0x00FFFFFF);
        QCOMPARE(said.last(), QStringLiteral("Не выбран порт ленты!"));
    }

    // The program lights the strip settings.ini names from its start, and follows each save of them.
    void theProgramFollowsTheStripSettings() {
        AdalightLine line;
        messages::Recorder recorder;
        QTemporaryDir folder;
        WriteSettings(
            folder.path(),
            QStringLiteral("[Strip]\r\nOutput=Adalight\r\nSerialPort=%1\r\n").arg(line.pty.slavePath()));
        App app(folder.path());
        app.Light().SetColour(0x00FFFFFF);
        QCOMPARE(line.Next(), StripColours(30 + 17 + 30 + 17, qRgb(255, 255, 255)));
        app.AppSettings().SaveStrip(StripSettings{});
        app.Light().SetColour(0x00FFFFFF);
        QCOMPARE(recorder.texts(), QStringList{"Программа не подключена к COM порту!"});
        QCOMPARE(line.Next(1200), StripColours());
    }
};

VARNEX_TEST_MAIN(StripDriveTest)
#include "test_strip_drive.moc"
