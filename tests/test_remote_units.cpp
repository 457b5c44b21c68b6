// The WinLIRC line reader and the key table.

#include <QTest>

#include "remote/winlirc.h"

Q_DECLARE_METATYPE(QList<QByteArray>)
Q_DECLARE_METATYPE(QList<RemoteAction>)

class RemoteUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void linesAsTheyArrive_data() {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QByteArray tooLong(LircLineReader::MaxLineLength + 1, 'x');
        QTest::newRow("CR LF, a line split across reads, a partial line waiting")
            << QList<QByteArray>{"a 00 K R\r\nb 0", "a K R\nc 01"}
            << QList<QByteArray>{"a 00 K R", "b 0a K R"};
        QTest::newRow("lircd blocks skipped")
            << QList<QByteArray>{"BEGIN\nSIGHUP\nEND\na 00 K R\nBEG", "IN\nx 00 K R\nEND\n"}
            << QList<QByteArray>{"a 00 K R"};
        QTest::newRow("overlong dropped to its end")
            << QList<QByteArray>{tooLong, tooLong + "\na 00 K R\n", QByteArray("\xff\x00 00 K\n", 9)}
            << QList<QByteArray>{"a 00 K R", QByteArray("\xff\x00 00 K", 7)};
    }
    void linesAsTheyArrive() {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<QByteArray>, lines);
        LircLineReader reader;
        QList<QByteArray> got;
        for (const QByteArray& bytes : reads) got << reader.Feed(bytes);
        QCOMPARE(got, lines);
    }

    void fieldsOfALine() {
        const LircFields full = SplitLircLine(QStringLiteral("000f 0a KEY_OK my remote"));
        QCOMPARE(QStringList({full.code, full.repeat, full.key, full.rest}),
                 QStringList({"000f", "0a", "KEY_OK", "my remote"}));
        QCOMPARE(EventKey(full), QStringLiteral("0aKEY_OK"));
        const LircFields shortLine = SplitLircLine(QStringLiteral("000f 00"));
        QCOMPARE(QStringList({shortLine.code, shortLine.repeat, shortLine.key, shortLine.rest}),
                 QStringList({"000f", "", "", "00"}));
        QVERIFY(!IsPress(shortLine));
    }

    void keyTable_data() {
        QTest::addColumn<QString>("eventKey");
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<QList<RemoteAction>>("actions");
        using A = RemoteAction;
        QTest::newRow("play") << "00PLAY" << false << QList<A>{A::PlayPause};
        QTest::newRow("play under Light Alloy") << "00PLAY" << true << QList<A>{};
        QTest::newRow("repeat of a press") << "01PLAY" << false << QList<A>{};
        QTest::newRow("player keys in order")
            << "00MULTI" << false << QList<A>{A::NextTrack, A::PreviousTrack, A::ColourMusic};
        QTest::newRow("AmbiLight under Light Alloy") << "00AMBI" << true << QList<A>{A::AmbiLight};
        QTest::newRow("shutdown hold") << "0aOFF" << true << QList<A>{A::ShowShutdownWindow};
        QTest::newRow("upper-case hold is none") << "0AOFF" << false << QList<A>{};
        QTest::newRow("0b after the hold") << "0bOFF" << false << QList<A>{};
        QTest::newRow("shutdown and cancel one key")
            << "00OFF" << false << QList<A>{A::ShutDown, A::HideShutdownWindow};
        QTest::newRow("monitor press, hold") << "00MON" << false << QList<A>{A::MonitorOn};
        QTest::newRow("monitor hold") << "0aMON" << false << QList<A>{A::MonitorOff};
        QTest::newRow("case matters") << "00play" << false << QList<A>{};
        QTest::newRow("empty key name matches only empty boxes") << "00" << false << QList<A>{};
    }
    void keyTable() {
        QFETCH(QString, eventKey);
        QFETCH(bool, blocked);
        QFETCH(QList<RemoteAction>, actions);
        const RemoteKeyNames names{"PLAY", "MULTI", "MULTI", "MULTI", "AMBI", "OFF", "OFF", "MON"};
        int asked = 0;
        QCOMPARE(ActionsFor(eventKey, names, [&] { return ++asked, blocked; }), actions);
        // Whether the player keys are blocked is asked only for a player key.
        const bool playerKey = eventKey == "00PLAY" || eventKey == "00MULTI";
        QCOMPARE(asked > 0, playerKey);
    }
};

QTEST_GUILESS_MAIN(RemoteUnitsTest)
#include "test_remote_units.moc"
