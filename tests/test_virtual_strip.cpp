// The virtual LED strip: its readers of the Adalight, WLED realtime and DDP formats against bytes written out
// by hand from the formats' definitions, and the board tool run as a strip, fed through its pseudo-terminal
// and over UDP on 127.0.0.1, read back from its printed frames.

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include "tests/support/board_tool.h"
#include "tools/board/strip_receiver.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) result.append(char(value));
    return result;
}

const QRgb Red = qRgb(0xFF, 0, 0), Green = qRgb(0, 0xFF, 0), Blue = qRgb(0, 0, 0xFF), Dark = qRgb(0, 0, 0);

// "Ada", count - 1 = 2 (high 0x00, low 0x02), checksum 0x00 ^ 0x02 ^ 0x55 = 0x57; red, green, blue.
const QByteArray ThreeLeds = "Ada" + bytes({0x00, 0x02, 0x57, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF});

// The far end's side of the tool's pseudo-terminal, opened by its link as a program opens its port.
class PortWriter {
public:
    explicit PortWriter(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY)) {}
    ~PortWriter() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    bool Write(const QByteArray& data) {
        return ::write(fd_, data.constData(), size_t(data.size())) == data.size();
    }

private:
    int fd_;
};

}  // namespace

class VirtualStripTest : public QObject {
    Q_OBJECT

private slots:
    void adalightFramesWholeSplitAndResynchronised() {
        AdalightParser parser;
        parser.Feed(ThreeLeds);
        QCOMPARE(parser.TakeFrames(), (QList<StripColours>{{Red, Green, Blue}}));
        QVERIFY(parser.TakeFrames().isEmpty());

        // One byte per read, a header cut inside "Ada" and a frame cut inside an LED.
        for (const char byte : ThreeLeds) parser.Feed(QByteArrayView(&byte, 1));
        QCOMPARE(parser.TakeFrames(), (QList<StripColours>{{Red, Green, Blue}}));
        QCOMPARE(parser.SkippedBytes(), 0);

        // A bad checksum whose header is followed by a good one at once: only the bad 'A', 'd' and 'a' are
        // passed over (a reader that dropped the whole six-byte header would lose the good frame), then two
        // stray bytes and a header with a wrong checksum before the next good frame.
        parser.Feed("Ada" + ThreeLeds + "xyAda" + bytes({0x00, 0x02, 0x58}) + ThreeLeds);
        QCOMPARE(parser.TakeFrames(), (QList<StripColours>{{Red, Green, Blue}, {Red, Green, Blue}}));
        QCOMPARE(parser.SkippedBytes(), 3 + 2 + 6);
        QCOMPARE(parser.Frames(), 4);

        // 300 LEDs: count - 1 = 299 = 0x012B, checksum 0x01 ^ 0x2B ^ 0x55 = 0x7F; the high byte counts.
        QByteArray long300 = "Ada" + bytes({0x01, 0x2B, 0x7F});
        for (int led = 0; led < 300; ++led) long300 += bytes({led & 0xFF, led >> 8, 7});
        parser.Feed(long300.first(500));
        QVERIFY(parser.TakeFrames().isEmpty());
        parser.Feed(long300.sliced(500));
        const QList<StripColours> frames = parser.TakeFrames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].size(), 300);
        QCOMPARE(frames[0][299], qRgb(299 & 0xFF, 1, 7));
    }

    void wledPacketsPiecesAndTimeout() {
        // DRGB: protocol 2, timeout 2 s, two LEDs from LED 0; a byte short of a third LED is left out.
        const std::optional<WledPacket> drgb = ParseWled(bytes({2, 2, 0xFF, 0, 0, 0, 0xFF, 0, 9}));
        QVERIFY(drgb);
        QCOMPARE(drgb->timeoutSeconds, 2);
        QCOMPARE(drgb->start, 0);
        QCOMPARE(drgb->colours, (StripColours{Red, Green}));
        // Other protocols and a DNRGB packet without its start index are not this receiver's.
        QVERIFY(!ParseWled(bytes({1, 2, 0, 0xFF, 0, 0})));
        QVERIFY(!ParseWled(bytes({4, 2, 0})));

        // DNRGB pieces make one strip: LEDs 0-1, then LEDs 256-257 (start 0x01 0x00, big-endian).
        WledStrip strip;
        QVERIFY(strip.Released(0));
        strip.Apply(*ParseWled(bytes({4, 1, 0x00, 0x00, 0xFF, 0, 0, 0, 0xFF, 0})), 1000);
        const std::optional<WledPacket> second = ParseWled(bytes({4, 1, 0x01, 0x00, 0, 0, 0xFF, 1, 2, 3}));
        QCOMPARE(second->start, 256);
        strip.Apply(*second, 1500);
        QCOMPARE(strip.Leds().size(), 258);
        QCOMPARE(strip.Leds()[0], Red);
        QCOMPARE(strip.Leds()[1], Green);
        QCOMPARE(strip.Leds()[2], Dark);
        QCOMPARE(strip.Leds()[256], Blue);
        QCOMPARE(strip.Leds()[257], qRgb(1, 2, 3));

        // The timeout runs from the last packet: 1 s after 1500.
        QCOMPARE(strip.ReleaseAt(), std::optional<qint64>(2500));
        QVERIFY(!strip.Released(2499));
        QVERIFY(strip.Released(2500));
        // After the release a packet starts from a dark strip; 255 holds it until the next packet.
        strip.Apply(*ParseWled(bytes({2, 255, 0, 0, 0xFF})), 3000);
        QCOMPARE(strip.Leds()[0], Blue);
        QCOMPARE(strip.Leds()[1], Dark);
        QCOMPARE(strip.Leds()[256], Dark);
        QVERIFY(!strip.ReleaseAt());
        QVERIFY(!strip.Released(1000000000));
    }

    void ddpOffsetsPushAndRefusals() {
        // Version 1, no push, sequence 1, RGB 8-bit (0x0B), default output (1), offset 6, length 3: LED 2.
        const QByteArray tail = bytes({0x40, 0x01, 0x0B, 0x01, 0, 0, 0, 6, 0, 3, 0, 0, 0xFF});
        // Version 1 with push, offset 0, length 6: LEDs 0 and 1.
        const QByteArray head = bytes({0x41, 0x02, 0x0B, 0x01, 0, 0, 0, 0, 0, 6, 0xFF, 0, 0, 0, 0xFF, 0});
        DdpStrip strip;
        QVERIFY(!strip.Apply(*ParseDdp(tail)));
        QCOMPARE(strip.Apply(*ParseDdp(head)), std::optional<StripColours>({Red, Green, Blue}));
        // A push with nothing since the last one shows that frame again; a timecode (flag 0x10) makes the
        // header 14 bytes long; the frame ends with the furthest byte written since the last push (LED 1).
        QCOMPARE(strip.Apply(*ParseDdp(bytes({0x41, 3, 0x0B, 1, 0, 0, 0, 0, 0, 0}))),
                 std::optional<StripColours>({Red, Green, Blue}));
        QCOMPARE(strip.Apply(*ParseDdp(bytes({0x51, 4, 0x0B, 1, 0, 0, 0, 3, 0, 3, 9, 9, 9, 9, 1, 2, 3}))),
                 std::optional<StripColours>({Red, qRgb(1, 2, 3)}));

        // Not pixel data this strip shows: a query, a reply, version 2, RGBW (0x1B), a status message (251),
        // fewer data bytes than the header names.
        for (const QByteArray& other :
             {bytes({0x43, 0, 0x0B, 1, 0, 0, 0, 0, 0, 0}), bytes({0x45, 0, 0x0B, 1, 0, 0, 0, 0, 0, 0}),
              bytes({0x81, 0, 0x0B, 1, 0, 0, 0, 0, 0, 3, 1, 2, 3}),
              bytes({0x41, 0, 0x1B, 1, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4}),
              bytes({0x41, 0, 0x0B, 251, 0, 0, 0, 0, 0, 0}),
              bytes({0x41, 0, 0x0B, 1, 0, 0, 0, 0, 0, 6, 1, 2, 3})})
            QVERIFY2(!ParseDdp(other), other.toHex(' ').constData());

        // An offset near 4 GiB is refused whole, push or not, and nothing is allocated for it.
        QVERIFY(!strip.Apply(*ParseDdp(bytes({0x41, 5, 0x0B, 1, 0xFF, 0xFF, 0xFF, 0x00, 0, 3, 1, 2, 3}))));
        QCOMPARE(strip.Refused(), 1);
    }

    void framesDescribedWithTheirSum() {
        // FNV-1a 32 over ff 00 00 00 ff 00 00 00 ff, worked out apart from the program: d71f223e.
        QCOMPARE(DescribeFrame({Red, Green, Blue}), QByteArray("leds 3 sum d71f223e ff0000 00ff00 0000ff"));
        QCOMPARE(DescribeFrame({}), QByteArray("leds 0 sum 811c9dc5"));
        const QByteArray line = DescribeFrame(StripColours(17, qRgb(1, 2, 3)));
        QVERIFY(line.endsWith(" 010203 ..."));
        QCOMPARE(line.count("010203"), 16);
    }

    // The tool as a strip: an Adalight frame written to its port in two pieces after stray bytes, DNRGB
    // pieces and the WLED timeout, DDP data made a frame by a push, all read back from its printed lines.
    void toolShowsWhatReachesIt() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("strip"));
        BoardTool tool({QStringLiteral("--adalight"), QStringLiteral("--link"), link,
                        QStringLiteral("--wled"), QStringLiteral("0"), QStringLiteral("--ddp"),
                        QStringLiteral("0"), QStringLiteral("--sides"), QStringLiteral("1,1,1,0")});
        QVERIFY(tool.WaitForLine(QStringLiteral("varnex-board: adalight on ")).contains(link));
        const quint16 wledPort = tool.PortOf(QStringLiteral("wled")),
                      ddpPort = tool.PortOf(QStringLiteral("ddp"));
        QVERIFY(wledPort != 0 && ddpPort != 0);

        PortWriter port(link);
        QVERIFY(port.IsOpen());
        QVERIFY(port.Write("zz" + ThreeLeds.first(7)));
        QTest::qWait(100);
        QVERIFY(port.Write(ThreeLeds.sliced(7)));
        QCOMPARE(tool.WaitForLine(QStringLiteral("frame adalight")),
                 QStringLiteral("frame adalight 1 leds 3 sum d71f223e ff0000 00ff00 0000ff skipped 2"));

        QUdpSocket udp;
        const QHostAddress local(QHostAddress::LocalHost);
        udp.writeDatagram(bytes({4, 1, 0x00, 0x01, 0, 0xFF, 0}), local, wledPort);
        QCOMPARE(tool.WaitForLine(QStringLiteral("frame wled")),
                 QStringLiteral("frame wled 1 leds 2 sum %1 000000 00ff00")
                     .arg(FrameSum({Dark, Green}), 8, 16, QLatin1Char('0')));
        QElapsedTimer sinceLast;
        udp.writeDatagram(bytes({4, 1, 0x00, 0x00, 0xFF, 0, 0}), local, wledPort);
        QCOMPARE(tool.WaitForLine(QStringLiteral("frame wled")),
                 QStringLiteral("frame wled 2 leds 2 sum %1 ff0000 00ff00")
                     .arg(FrameSum({Red, Green}), 8, 16, QLatin1Char('0')));
        sinceLast.start();
        QCOMPARE(tool.WaitForLine(QStringLiteral("released"), 3000), QStringLiteral("released wled"));
        QVERIFY2(sinceLast.elapsed() >= 700, qPrintable(QString::number(sinceLast.elapsed())));

        udp.writeDatagram(bytes({0x40, 1, 0x0B, 1, 0, 0, 0, 3, 0, 3, 0, 0, 0xFF}), local, ddpPort);
        udp.writeDatagram(bytes({0x41, 2, 0x0B, 1, 0, 0, 0, 0, 0, 3, 0xFF, 0, 0}), local, ddpPort);
        QCOMPARE(tool.WaitForLine(QStringLiteral("frame ddp")),
                 QStringLiteral("frame ddp 1 leds 2 sum %1 ff0000 0000ff")
                     .arg(FrameSum({Red, Blue}), 8, 16, QLatin1Char('0')));
    }

    // Paced, the Adalight line carries a byte in ten bits' time: 12 frames of 300 LEDs (906 bytes each) at
    // 115200 baud take (12 * 906 - what the first burst lets through) / 11520 s, about 0.93 s; at eight bits
    // a byte they would take 0.75 s, unpaced a few milliseconds.
    void pacedAdalightHoldsTheLineRate() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("strip"));
        BoardTool tool({QStringLiteral("--adalight"), QStringLiteral("--link"), link,
                        QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--pace")});
        QVERIFY(
            tool.WaitForLine(QStringLiteral("varnex-board: adalight on ")).contains(QStringLiteral("paced")));
        QByteArray frame = "Ada" + bytes({0x01, 0x2B, 0x7F});
        frame += QByteArray(900, char(0x40));
        PortWriter port(link);
        QVERIFY(port.IsOpen());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.Write(frame.repeated(12)));
        QVERIFY(
            tool.WaitForLine(QStringLiteral("frame adalight 12 leds 300 "), 10000).endsWith(" skipped 0"));
        const double expected = (12 * 906 - 0.016 * 11520) / 11520;
        QVERIFY2(clock.elapsed() >= 0.95 * expected * 1000, qPrintable(QString::number(clock.elapsed())));
        // Nor far slower: a line that let no more than a UART's 16 bytes through per tick would take 3.4 s.
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(VirtualStripTest)
#include "test_virtual_strip.moc"
