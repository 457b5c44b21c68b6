// The light command language: levels, zone commands, the all-off commands, the board's reading of the byte
// stream, and the port list.

#include <QTest>
#include <tuple>

#include "light/board_parser.h"
#include "light/light_protocol.h"
#include "light/port_list.h"

namespace {

// Levels of the twelve channels after parsing `stream` in one piece.
BoardParser parsed(QByteArrayView stream) {
    BoardParser parser;
    parser.Feed(stream);
    return parser;
}

}  // namespace

class LightProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void componentLevelOverAllValues() {
        struct Range {
            int from, to, level;
        };
        // The ties (16, 48, 80, 112, 144, 176, 208, 240) go to the even neighbour.
        const Range table[] = {{0, 16, 0},    {17, 47, 1},   {48, 80, 2},   {81, 111, 3}, {112, 144, 4},
                               {145, 175, 5}, {176, 208, 6}, {209, 239, 7}, {240, 255, 8}};
        int checked = 0;
        for (const Range& range : table)
            for (int c = range.from; c <= range.to; ++c, ++checked)
                QVERIFY2(ComponentLevel(quint8(c)) == range.level, qPrintable(QString::number(c)));
        QCOMPARE(checked, 256);
    }

    void zoneCommands() {
        QCOMPARE(ZoneCommand(LeftUpperZone, 0x000000FF), QByteArray("E8F0D0"));
        QCOMPARE(ZoneCommand(RightLowerZone, 0x00FFFFFF), QByteArray("K8J8L8"));
        // Red is the low byte, blue the third; the fourth byte is ignored.
        QCOMPARE(ZoneCommand(LeftLowerZone, 0xFF103050), QByteArray("B2C2A0"));
        QCOMPARE(ZoneCommand(RightUpperZone, 0x00F00000), QByteArray("H0G0I8"));
    }

    void everyCommandFitsTheLine() {
        QList<QByteArray> commands{AllOffCommand, P1AllOffCommand};
        QCOMPARE(commands[0].size(), 38);
        QCOMPARE(commands[1].size(), 41);
        for (const Zone& zone : Zones)
            for (quint32 c = 0; c < 256; ++c)
                commands << ZoneCommand(zone, c) << ZoneCommand(zone, c << 8) << ZoneCommand(zone, c << 16)
                         << ZoneCommand(zone, c * 0x010101);
        for (const QByteArray& command : commands) {
            QVERIFY(command.size() <= 41);
            QVERIFY2(!command.contains('9'), command.constData());
            QVERIFY2(parsed(command).Faults() == 0, command.constData());
        }
        // The all-off commands leave every channel dark.
        BoardParser board;
        board.Feed(QByteArray(12, 'x'));
        for (char channel = FirstChannel; channel <= LastChannel; ++channel)
            board.Feed(QByteArray{channel, '7'});
        board.Feed(AllOffCommand);
        QCOMPARE(board.LevelDigits(), QByteArray("000000000000"));
        QCOMPARE(board.ControlItems(), 1);
    }

    void boardReadsSpacedUnspacedAndMixedItems() {
        for (const char* stream : {"E8 F0 D3", "E8F0D3", "E8F0 D3"}) {
            const BoardParser board = parsed(stream);
            QCOMPARE(board.LevelDigits(), QByteArray("000380000000"));
            QCOMPARE(board.Items(), 3);
            QCOMPARE(board.Faults(), 0);
        }
        // Commands follow each other with nothing between them.
        const BoardParser joined = parsed(QByteArray(P1AllOffCommand) + "K8J8L8" + "A1 B0 C0 D1 E0 F0");
        QCOMPARE(joined.LevelDigits(), QByteArray("100100000888"));
        QCOMPARE(joined.ControlItems(), 2);
        QCOMPARE(joined.Faults(), 0);
    }

    void boardCountsWhatBreaksTheGrammar() {
        // The stream, its faults and the levels A to L it leaves.
        const std::tuple<const char*, int, const char*> rows[] = {
            {"E8  F1", 1, "000081000000"},   // two spaces
            {" E8", 1, "000080000000"},      // space before the first item
            {"E9", 1, "000000000000"},       // above the highest level
            {"E8\r\n", 2, "000080000000"},   // a terminator is not part of the language
            {"EF8 xA2", 2, "200008000000"},  // a letter without its digit; a stray byte
            {"E F8", 1, "000008000000"},     // a space where the digit belongs: one fault, then F
        };
        for (const auto& [stream, faults, levels] : rows) {
            const BoardParser board = parsed(stream);
            QVERIFY2(board.Faults() == faults && board.LevelDigits() == levels, stream);
        }
    }

    void boardReadsTheSameWhereverTheStreamSplits() {
        const QByteArray stream = QByteArray(P1AllOffCommand) + "E8F0D0" +
                                  "A1 B0 C0 D1 E0 F0 I1 H0 G0 L1 K0 J0" + "K8J8L8" + "E8 xF1";
        const BoardParser whole = parsed(stream);
        for (int first = 0; first <= stream.size(); ++first)
            for (int second = first; second <= stream.size(); ++second) {
                BoardParser split;
                split.Feed(QByteArrayView(stream).first(first));
                split.Feed(QByteArrayView(stream).sliced(first, second - first));
                split.Feed(QByteArrayView(stream).sliced(second));
                QVERIFY(split.Levels() == whole.Levels());
                QCOMPARE(split.Items(), whole.Items());
                QCOMPARE(split.Faults(), whole.Faults());
            }
        BoardParser byteByByte;
        for (char byte : stream) byteByByte.Feed(QByteArrayView(&byte, 1));
        QVERIFY(byteByByte.Levels() == whole.Levels());
        QCOMPARE(whole.Faults(), 1);
    }

    void portListSortsPortsAndAppendsExtraPaths() {
        QCOMPARE(PortList({"COM2", "COM10", "com3", "COM1"}, QString()),
                 (QStringList{"COM1", "COM10", "COM2", "com3"}));
        QCOMPARE(PortList({"ttyUSB0", "ttyS1", "ttyACM0"}, "/tmp/b:/dev/pts/4::/tmp/a"),
                 (QStringList{"ttyACM0", "ttyS1", "ttyUSB0", "/tmp/b", "/dev/pts/4", "/tmp/a"}));
        QCOMPARE(PortList({}, "/tmp/b:/tmp/b"), QStringList{"/tmp/b"});
        QCOMPARE(PortList({}, QString()), QStringList());
    }
};

QTEST_APPLESS_MAIN(LightProtocolTest)
#include "test_light_protocol.moc"
