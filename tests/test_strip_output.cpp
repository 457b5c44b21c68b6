// The strip's outputs: the encoders against bytes worked out by hand from each protocol's definition, and the
// sender on a pseudo-terminal and on UDP sockets of 127.0.0.1: what arrives, what a stalled line gets, the
// failures and the stop.

#include <arpa/inet.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "light/strip_protocol.h"
#include "light/strip_sender.h"
#include "light/strip_sinks.h"
#include "tests/support/pseudo_terminal.h"

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// LED bytes whose LED i reads (i >> 8, i & 0xFF, 0x5A): any LED out of place shows.
QByteArray numberedLeds(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        bytes += char(i >> 8);
        bytes += char(i & 0xFF);
        bytes += char(0x5A);
    }
    return bytes;
}

// A frame of `leds` LEDs whose first LED carries `id`.
QList<QByteArray> numberedFrame(int id, int leds) {
    QByteArray bytes(leds * 3, char(0x33));
    bytes[0] = char(id >> 8);
    bytes[1] = char(id & 0xFF);
    return {AdalightFrame(bytes)};
}

// The ids of the Adalight frames in `line`, which must hold nothing but whole frames of `leds` LEDs.
QList<int> frameIds(const QByteArray& line, int leds) {
    QList<int> ids;
    const QByteArray header = AdalightFrame(QByteArray(leds * 3, 0)).left(6);
    const int size = 6 + leds * 3;
    for (qsizetype at = 0; at < line.size(); at += size) {
        if (line.mid(at, 6) != header || at + size > line.size()) return {-1};
        ids.append((quint8(line[at + 6]) << 8) | quint8(line[at + 7]));
    }
    return ids;
}

// Everything the line carries until it has been quiet for `quietMs`.
QByteArray readUntilQuiet(PseudoTerminal& line, int quietMs) {
    QByteArray all;
    for (;;) {
        const QByteArray more = line.read(1, quietMs);
        if (more.isEmpty()) return all;
        all += more;
    }
}

// A UDP socket bound to 127.0.0.1 on a port of its own.
class UdpReceiver {
public:
    UdpReceiver() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~UdpReceiver() { close(); }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    quint16 port() const { return port_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // The next datagram, or nothing after `waitMs`.
    QByteArray receive(int waitMs = 2000) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, waitMs) != 1) return {};
        QByteArray datagram(65536, Qt::Uninitialized);
        const ssize_t size = ::recv(fd_, datagram.data(), size_t(datagram.size()), 0);
        return datagram.left(qMax<ssize_t>(size, 0));
    }

private:
    int fd_;
    quint16 port_ = 0;
};

// One Failed from `sender`, checked to come on the thread that owns it; none more after further frames.
QString onlyFailure(StripSender& sender, const std::function<void()>& sendMore) {
    QSignalSpy failed(&sender, &StripSender::Failed);
    bool onOwnThread = true;
    QObject::connect(
        &sender, &StripSender::Failed, &sender,
        [&] { onOwnThread = onOwnThread && QThread::currentThread() == sender.thread(); },
        Qt::DirectConnection);
    QElapsedTimer clock;
    clock.start();
    while (failed.isEmpty() && clock.elapsed() < 5000) {
        sendMore();
        failed.wait(20);
    }
    for (int i = 0; i < 10; ++i) {
        sendMore();
        QTest::qWait(20);
    }
    if (failed.size() != 1 || !onOwnThread) return QStringLiteral("failed %1 times").arg(failed.size());
    return failed.first().first().toString();
}

}  // namespace

class StripOutputTest : public QObject {
    Q_OBJECT

private slots:
    // Brightness limit and gamma, the six colour orders, and the Adalight frame.
    void componentsAndAdalightFrame() {
        const ComponentTable half = MakeComponentTable(50, 1.0);
        QCOMPARE(half[255], quint8(128));  // 127.5 rounds up
        QCOMPARE(half[1], quint8(1));
        QCOMPARE(half[0], quint8(0));
        const ComponentTable gamma2 = MakeComponentTable(100, 2.0);
        QCOMPARE(gamma2[128], quint8(64));  // 128² / 255 = 64.25
        QCOMPARE(gamma2[16], quint8(1));    // 256 / 255
        QCOMPARE(gamma2[255], quint8(255));
        QCOMPARE(MakeComponentTable(150, 0.5), MakeComponentTable(100, 1.0));  // out of range: clamped
        QCOMPARE(MakeComponentTable(100, 1.0)[200], quint8(200));

        // Colours are 0x00BBGGRR: 0x332211 is red 0x11, green 0x22, blue 0x33.
        const ComponentTable same = MakeComponentTable(100, 1.0);
        const QList<std::pair<ColourOrder, const char*>> orders{
            {ColourOrder::RGB, "112233"}, {ColourOrder::GRB, "221133"}, {ColourOrder::BRG, "331122"},
            {ColourOrder::RBG, "113322"}, {ColourOrder::GBR, "223311"}, {ColourOrder::BGR, "332211"}};
        for (const auto& [order, bytes] : orders) QCOMPARE(LedBytes({0x332211}, order, same), hex(bytes));

        // Red, green and 0x302010 in GRB at half brightness: "Ada", count − 1 = 0x0002, checksum 0x00 ^ 0x02
        // ^ 0x55.
        const QByteArray leds = LedBytes({0x0000FF, 0x00FF00, 0x302010}, ColourOrder::GRB, half);
        QCOMPARE(AdalightFrame(leds), QByteArray("Ada") + hex("000257"
                                                              "008000"
                                                              "800000"
                                                              "100818"));
        // 300 LEDs: 299 = 0x012B, checksum 0x01 ^ 0x2B ^ 0x55 = 0x7F.
        QCOMPARE(AdalightFrame(numberedLeds(300)).left(6), QByteArray("Ada") + hex("012B7F"));
        QCOMPARE(AdalightFrame(numberedLeds(300)).size(), 6 + 900);
        QCOMPARE(AdalightFrame(QByteArray()), QByteArray());
    }

    // WLED: DRGB up to 490 LEDs; beyond, DNRGB packets of 489 with their start index.
    void wledPackets() {
        const QList<QByteArray> one = WledPackets(numberedLeds(490));
        QCOMPARE(one.size(), 1);
        QCOMPARE(one[0], hex("0202") + numberedLeds(490));

        const QByteArray leds = numberedLeds(500);
        const QList<QByteArray> split = WledPackets(leds);
        QCOMPARE(split.size(), 2);
        QCOMPARE(split[0].size(), 4 + 489 * 3);
        QCOMPARE(split[0], hex("04020000") + leds.left(489 * 3));
        QCOMPARE(split[1], hex("040201E9"
                               "01E95A") +
                               leds.mid(490 * 3));  // 489 = 0x01E9, 11 LEDs
        QCOMPARE(WledPackets(leds, 5)[1].left(2), hex("0405"));
        QVERIFY(WledPackets(QByteArray()).isEmpty());
    }

    // DDP: packets of 1440 bytes at most, push only on the last, sequence numbers 1..15 running on.
    void ddpPackets() {
        const QByteArray leds = numberedLeds(481);
        quint8 sequence = 0;
        const QList<QByteArray> packets = DdpPackets(leds, sequence);
        QCOMPARE(packets.size(), 2);
        QCOMPARE(packets[0], hex("40010B01"
                                 "00000000"
                                 "05A0") +
                                 leds.left(1440));
        QCOMPARE(packets[1], hex("41020B01"
                                 "000005A0"
                                 "0003"
                                 "01E05A"));  // LED 480
        QCOMPARE(sequence, quint8(2));

        sequence = 14;
        const QList<QByteArray> next = DdpPackets(leds, sequence);
        QCOMPARE(next[0].left(2), hex("400F"));
        QCOMPARE(next[1].left(2), hex("4101"));
        QCOMPARE(DdpPackets(numberedLeds(1), sequence), QList<QByteArray>{hex("41020B01"
                                                                              "00000000"
                                                                              "0003"
                                                                              "00005A")});
        QVERIFY(DdpPackets(QByteArray(), sequence).isEmpty());
    }

    // Frames reach the line whole and in order, at the rate asked for, set as a number.
    void serialFramesArriveWholeInOrder() {
        PseudoTerminal line;
        StripSender sender(MakeSerialStripSink(line.slavePath(), 250000));
        for (int id = 1; id <= 10; ++id) {
            const QList<QByteArray> frame = numberedFrame(id, 100);
            sender.Send(frame);
            QCOMPARE(line.read(frame[0].size()), frame[0]);
        }
        QCOMPARE(line.read(1, 100), QByteArray());

        const int fd =
            ::open(QFile::encodeName(line.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios2 settings{};
        QCOMPARE(::ioctl(fd, TCGETS2, &settings), 0);
        ::close(fd);
        QCOMPARE(settings.c_ospeed, speed_t(250000));
        QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(settings.c_oflag & OPOST, tcflag_t(0));
    }

    // A line whose reader stalls takes what its buffer holds; of everything sent during the stall, only the
    // newest frame follows, and the stop does not wait for the line.
    void stalledLineGetsTheNewestFrame() {
        PseudoTerminal line;
        auto sender = std::make_unique<StripSender>(MakeSerialStripSink(line.slavePath(), 2000000));
        constexpr int leds = 1000;
        constexpr int last = 200;
        for (int id = 1; id <= last; ++id) {
            sender->Send(numberedFrame(id, leds));
            QThread::msleep(2);
        }
        const QList<int> ids = frameIds(readUntilQuiet(line, 500), leds);
        QVERIFY2(!ids.isEmpty() && ids.last() == last,
                 qPrintable(QString::number(ids.value(ids.size() - 1))));
        QVERIFY(std::is_sorted(ids.begin(), ids.end()) &&
                std::adjacent_find(ids.begin(), ids.end()) == ids.end());
        // The pseudo-terminal buffers a few frames (seven here, then the writer waits); a backlog would bring
        // all two hundred, and nothing sent during the stall but the newest may follow what was buffered.
        QVERIFY2(ids.size() >= 2 && ids.size() <= 20 && ids[ids.size() - 2] <= 100,
                 qPrintable(QString::number(ids.size())));

        // Stalled again, with a frame being written and one waiting: the stop comes at once.
        for (int id = 1; id <= 20; ++id) {
            sender->Send(numberedFrame(id, leds));
            QThread::msleep(2);
        }
        QTest::qWait(100);
        QElapsedTimer clock;
        clock.start();
        sender.reset();
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    }

    // A pseudo-terminal takes some 20 KB at once and reports none of it queued: the sender still writes no
    // faster than the line's rate carries (300 LEDs at 115200 baud: 906 bytes, 78.6 ms a frame), so that the
    // newest frame replaces the waiting one instead of queueing behind frames the line has yet to carry.
    void aDriverThatQueuesUnseenIsHeldToTheLinesRate() {
        PseudoTerminal line;
        StripSender sender(MakeSerialStripSink(line.slavePath(), 115200));
        constexpr int leds = 300;
        QElapsedTimer clock;
        clock.start();
        int last = 0;
        while (clock.elapsed() < 400) {
            sender.Send(numberedFrame(++last, leds));
            QThread::msleep(2);
        }
        const qint64 sending = clock.elapsed();
        QTest::qWait(200);
        const QList<int> ids = frameIds(readUntilQuiet(line, 300), leds);
        QVERIFY2(!ids.isEmpty() && ids.last() == last,
                 qPrintable(QString::number(ids.value(ids.size() - 1))));
        // The first frame at once, then one per frame's line time, the last sent after the loop.
        const qint64 carried = (sending + 200) * 11520 / (1000 * (6 + 3 * leds)) + 1;
        QVERIFY2(ids.size() <= carried + 1,
                 qPrintable(QStringLiteral("%1 frames, the line carries %2").arg(ids.size()).arg(carried)));
    }

    // Datagrams go to the address named, by number or by name.
    void udpDatagramsReachTheAddress() {
        UdpReceiver receiver;
        {
            StripSender sender(MakeUdpStripSink(QStringLiteral("127.0.0.1"), receiver.port()));
            const QList<QByteArray> packets = WledPackets(numberedLeds(500));
            sender.Send(packets);
            QCOMPARE(receiver.receive(), packets[0]);
            QCOMPARE(receiver.receive(), packets[1]);
        }
        StripSender sender(MakeUdpStripSink(QStringLiteral("localhost"), receiver.port()));
        quint8 sequence = 0;
        const QList<QByteArray> packets = DdpPackets(numberedLeds(481), sequence);
        sender.Send(packets);
        QCOMPARE(receiver.receive(), packets[0]);
        QCOMPARE(receiver.receive(), packets[1]);
        QCOMPARE(receiver.receive(100), QByteArray());
    }

    // A port that will not open, a host that does not resolve and a write that fails: one message each, on
    // the sender's thread, and nothing sent after it.
    void failuresAreReportedOnce() {
        const QList<QByteArray> frame = numberedFrame(1, 10);
        {
            StripSender sender(MakeSerialStripSink(QStringLiteral("/nonexistent/ttyStrip"), 115200));
            QCOMPARE(
                onlyFailure(sender, [&] { sender.Send(frame); }),
                QStringLiteral("Не удалось открыть порт /nonexistent/ttyStrip! (No such file or directory)"));
        }
        {
            // A name no resolver accepts: refused on this machine, no query leaves it.
            StripSender sender(MakeUdpStripSink(QStringLiteral("bad..name"), WledDefaultPort));
            const QString message = onlyFailure(sender, [&] { sender.Send(frame); });
            QVERIFY2(message.startsWith(QStringLiteral("Не удалось найти адрес bad..name! (")),
                     qPrintable(message));
        }
        {
            PseudoTerminal line;
            StripSender sender(MakeSerialStripSink(line.slavePath(), 115200));
            sender.Send(frame);
            QCOMPARE(line.read(frame[0].size()), frame[0]);
            line.closeMaster();
            const QString message = onlyFailure(sender, [&] { sender.Send(frame); });
            QCOMPARE(message, QStringLiteral("Не удалось отправить данные в порт %1! (Input/output error)")
                                  .arg(line.slavePath()));
        }
        {
            // Nobody listens on the port any more: the system's refusal comes back on a later datagram.
            UdpReceiver gone;
            const quint16 port = gone.port();
            gone.close();
            StripSender sender(MakeUdpStripSink(QStringLiteral("127.0.0.1"), port));
            QCOMPARE(onlyFailure(sender, [&] { sender.Send(frame); }),
                     QStringLiteral("Не удалось отправить данные на 127.0.0.1:%1! (Connection refused)")
                         .arg(port));
        }
    }
};

QTEST_GUILESS_MAIN(StripOutputTest)
#include "test_strip_output.moc"
