// The WinLIRC line reader, the key table and the click sound.

#include <QTemporaryDir>
#include <QTest>

#include "remote/click_sound.h"
#include "remote/winlirc.h"
#include "tests/support/settings_file.h"
#include "tests/support/tones.h"

class RemoteUnitsTest : public QObject {
    Q_OBJECT

private slots:
    // CR LF, a line split across reads and a partial line waiting; lircd's blocks skipped; an overlong line
    // dropped to its end, binary bytes kept.
    void linesAsTheyArrive() {
        const QByteArray longest = "a 00 K " + QByteArray(LircLineReader::MaxLineLength - 7, 'R'),
                         tooLong = longest + 'R';
        const struct {
            QList<QByteArray> reads, lines;
        } cases[] = {
            {{"a 00 K R\r\nb 0", "a K R\nc 01"}, {"a 00 K R", "b 0a K R"}},
            {{"BEGIN\nSIGHUP\nEND\na 00 K R\nBEG", "IN\nx 00 K R\nEND\n"}, {"a 00 K R"}},
            {{tooLong, tooLong + "\na 00 K R\n", QByteArray("\xff\x00 00 K\n", 8), longest + '\n'},
             {"a 00 K R", QByteArray("\xff\x00 00 K", 7), longest}},
        };
        for (const auto& [reads, lines] : cases) {
            LircLineReader reader;
            QList<QByteArray> got;
            for (const QByteArray& bytes : reads) got << reader.Feed(bytes);
            QCOMPARE(got, lines);
        }
    }

    void fieldsOfALine() {
        const LircFields full = SplitLircLine("000f 0a KEY_OK my remote"), cut = SplitLircLine("000f 00");
        QCOMPARE(QStringList({full.code, full.repeat, full.key, full.rest, EventKey(full)}),
                 QStringList({"000f", "0a", "KEY_OK", "my remote", "0aKEY_OK"}));
        QCOMPARE(QStringList({cut.code, cut.repeat, cut.key, cut.rest}), QStringList({"000f", "", "", "00"}));
        QVERIFY(!IsPress(cut) && IsPress(SplitLircLine("1 00 K R")));
    }

    // The actions in order, and when "Light Alloy" is looked for: only for a player key, and after the
    // actions of the other keys have run (-1: not looked for).
    void keyTable() {
        using A = RemoteAction;
        const QStringList names{"PLAY", "MULTI", "MULTI", "MULTI", "MULTI", "OFF", "OFF", "MON"};
        const struct {
            const char* key;
            bool blocked;
            QList<A> actions;
            qsizetype askedAfter;
        } rows[] = {
            {"00PLAY", false, {A::PlayPause}, 0},
            {"00PLAY", true, {}, 0},
            {"01PLAY", false, {}, -1},  // a repeat of a press
            {"00MULTI", false, {A::AmbiLight, A::NextTrack, A::PreviousTrack, A::ColourMusic}, 1},
            {"00MULTI", true, {A::AmbiLight}, 1},
            {"0aOFF", true, {A::ShowShutdownWindow}, -1},
            {"0AOFF", false, {}, -1},  // upper case is no hold
            {"0bOFF", false, {}, -1},
            {"00OFF", false, {A::ShutDown, A::HideShutdownWindow}, -1},
            {"00MON", false, {A::MonitorOn}, -1},
            {"0aMON", false, {A::MonitorOff}, -1},
            {"00play", false, {}, -1},  // case matters
            {"00", false, {}, -1},      // an empty key name matches only empty boxes
        };
        for (const auto& row : rows) {
            QList<A> ran;
            qsizetype askedAfter = -1;
            RunKeyTable(
                row.key, [&](int box) { return names[box - 1]; },
                [&] { return askedAfter = ran.size(), row.blocked; }, [&](A action) { ran << action; });
            QCOMPARE(ran, row.actions);
            QCOMPARE(askedAfter, row.askedAfter);
        }
    }

    // Every click plays the whole file from its start, however many came before (a held key clicks ten
    // times a second); a missing file rings the bell instead.
    void clickSound() {
        QTemporaryDir dir;
        const QString output = dir.filePath("output.raw"), sound = dir.filePath("sound.wav");
        qputenv("VARNEX_AUDIO_SINK", "filesink location=" + output.toUtf8());
        WriteFileBytes(sound, QByteArray::fromStdString(tones::Wav(0.2, 8000, 1, .5, .5)));
        int bells = 0;
        ClickSound click([&] { ++bells; });
        QList<bool> started;
        connect(&click, &ClickSound::Started, this, [&](bool fromFile) { started << fromFile; });
        for (int n = 0; n < 3; ++n) {
            QFile::remove(output);
            click.Play(sound);
            QTRY_COMPARE(QFileInfo(output).size(), 0.2 * 8000 * 2);  // 16-bit mono samples
        }
        click.Play(dir.filePath("missing.wav"));
        QCOMPARE(started, QList<bool>({true, true, true, false}));
        QCOMPARE(bells, 1);
        qputenv("VARNEX_AUDIO_SINK", "fakesink sync=true");
    }
};

QTEST_GUILESS_MAIN(RemoteUnitsTest)
#include "test_remote_units.moc"
