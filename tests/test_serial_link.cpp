// The serial link on a real pseudo-terminal: what reaches the line, the port's settings, the probe, and the
// failures of open and write.

#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "light/board_parser.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "tests/support/error_of.h"
#include "tests/support/pseudo_terminal.h"

namespace {

const QRegularExpression writeFailed(
    QStringLiteral(R"(^WriteFile function failed \(win error code: \d+\)$)"));

// A pseudo-terminal hands each byte on at once, so its driver's drain never waits. The test stands in for a
// real line's driver: while `slowDrainMs` is set, the last byte leaves that long after the driver took it.
std::atomic<int> slowDrainMs{0};

}  // namespace

extern "C" int tcdrain(int fd) {
    static const auto systemDrain = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "tcdrain"));
    if (const int ms = slowDrainMs) QThread::msleep(ms);
    return systemDrain(fd);
}

namespace {

// A link opened on a pseudo-terminal of its own.
struct OpenedLink {
    PseudoTerminal line;
    SerialLink link;
    OpenedLink() {
        link.Port = line.slavePath();
        link.SetConnected(true);
    }
};

}  // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT

private slots:
    void bytesOnTheLineAreExactlyTheCommandsAtTheBoardsSettings() {
        OpenedLink opened;
        auto& [line, link] = opened;
        QVERIFY(link.Connected());

        link.WriteText(ZoneCommand(LeftUpperZone, 0x000000FF));
        QCOMPARE(line.read(6), QByteArray("E8F0D0"));
        link.WriteText(QByteArray());  // an empty command writes nothing
        link.WriteText(P1AllOffCommand);
        link.WriteText("K8J8L8");
        link.WriteText("A1 B0 C0 D1 E0 F0");
        const QByteArray expected = QByteArray(P1AllOffCommand) + "K8J8L8" + "A1 B0 C0 D1 E0 F0";
        const QByteArray received = line.read(expected.size());
        QCOMPARE(received, expected);
        QCOMPARE(line.read(1, 100), QByteArray());

        BoardParser board;
        board.Feed(received);
        QCOMPARE(board.LevelDigits(), QByteArray("100100000888"));
        QCOMPARE(board.Faults(), 0);

        // A write returns once its last byte has left the line, not when the driver has taken it.
        slowDrainMs = 300;
        QElapsedTimer clock;
        clock.start();
        link.WriteText("E8F0D0");
        slowDrainMs = 0;
        QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(line.read(6), QByteArray("E8F0D0"));

        // A text larger than the driver takes at once, the far side reading along: the rest waits in Qt's
        // queue, and the line carries every byte once, in order.
        QByteArray big;
        for (int i = 0; big.size() < 256 * 1024; ++i) big += QByteArray::number(i) + ' ';
        QByteArray far;
        std::thread reader([&] { far = line.read(big.size(), 30000); });
        link.WriteText(big);
        reader.join();
        QCOMPARE(far, big);

        // The port is set up as the board expects.
        link.SetConnected(true);  // already open: nothing happens
        QVERIFY(link.Connected());

        const int fd =
            ::open(QFile::encodeName(line.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios settings{};
        QCOMPARE(::tcgetattr(fd, &settings), 0);
        ::close(fd);
        QCOMPARE(::cfgetospeed(&settings), speed_t(B9600));
        QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(settings.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
        QCOMPARE(settings.c_oflag & OPOST, tcflag_t(0));  // bytes go out unchanged

        link.SetConnected(false);
        QVERIFY(!link.Connected());
        QCOMPARE(ErrorOf([&] { link.WriteText("E8F0D0"); }),
                 QStringLiteral("WriteFile function failed (win error code: 9)"));
    }

    // The probe answers whether the port can be opened now; a failed open leaves the link closed.
    void probeAndFailedOpens() {
        OpenedLink opened;
        auto& [line, holder] = opened;
        SerialLink link;
        link.Port = line.slavePath();
        QVERIFY(ErrorOf([&] {
                    link.SetConnected(true);
                }).startsWith("Unable to open com port (win error code: "));
        QVERIFY(!link.Connected() && holder.Connected());
        QVERIFY(!SerialLink::PortAvailable(line.slavePath()));
        holder.SetConnected(false);
        QVERIFY(SerialLink::PortAvailable(line.slavePath()));
        QVERIFY(SerialLink::PortAvailable(line.slavePath()));  // the probe released it again

        link.Port = QStringLiteral("/nonexistent/ttyX");
        QCOMPARE(ErrorOf([&] { link.SetConnected(true); }),
                 QStringLiteral("Unable to open com port (win error code: 2)"));
        QVERIFY(!link.Connected());
        QVERIFY(!SerialLink::PortAvailable(QStringLiteral("/nonexistent/ttyX")));
        QVERIFY(!SerialLink::PortAvailable(QString()));
        QVERIFY(!SerialLink::PortAvailable(QStringLiteral("/dev/null")));  // not a serial device
    }

    // The far side goes away: found by a write (which raises the error, so the loss that follows from the
    // event loop carries no second text) or while idle. Either way the link closes once.
    void farSideGoneClosesTheLinkOnce() {
        for (const bool byWrite : {true, false}) {
            OpenedLink opened;
            auto& [line, link] = opened;
            QSignalSpy lost(&link, &SerialLink::DeviceLost);
            line.closeMaster();
            if (byWrite) {
                const QString error = ErrorOf([&] { link.WriteText("E8F0D0"); });
                QVERIFY2(writeFailed.match(error).hasMatch(), qPrintable(error));
                QVERIFY(!link.Connected());
            }
            QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 2000);
            QCOMPARE(lost.first().first().toString(),
                     byWrite ? QString() : QStringLiteral("WriteFile function failed (win error code: 5)"));
            QVERIFY(!link.Connected());
            QTest::qWait(100);
            QCOMPARE(lost.size(), 1);
        }
    }

    void writeThatCannotLeaveTimesOutAndThePortStaysOpen() {
        OpenedLink opened;
        auto& [line, link] = opened;

        // Nobody reads the line: fill it up from a second descriptor until it takes no more (the kernel moves
        // bytes along in the background, so it has to refuse several times in a row).
        const int filler =
            ::open(QFile::encodeName(line.slavePath()).constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(filler >= 0);
        const QByteArray chunk(256, 'x');
        QDeadlineTimer fillLimit(5000);
        for (int refusals = 0; refusals < 5 && !fillLimit.hasExpired();) {
            qint64 taken = 0;
            for (ssize_t n; (n = ::write(filler, chunk.constData(), chunk.size())) > 0;) taken += n;
            for (ssize_t n; (n = ::write(filler, "x", 1)) > 0;) taken += n;
            refusals = taken == 0 ? refusals + 1 : 0;
            QThread::msleep(20);
        }
        ::close(filler);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ErrorOf([&] { link.WriteText("E8F0D0"); }),
                 QStringLiteral("WriteFile function failed (win error code: 110)"));
        QVERIFY(clock.elapsed() >= 1500 && clock.elapsed() < 5000);  // 1000 ms + 100 ms a byte
        QVERIFY(link.Connected());

        // Once the line moves again, the next command goes out alone: nothing of the failed one follows it.
        line.read(1, 200);
        link.WriteText("K8J8L8");
        const QByteArray after = line.read(6);
        QVERIFY(after.endsWith("K8J8L8"));
        QVERIFY(!after.contains("E8F0D0"));
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "test_serial_link.moc"
