// The player without a window: the advance, opens that take long, the empty playlist's message and the
// order of drops, on the real audio library with a silent sink against local HTTP streams.

#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "player/audio_library.h"
#include "player/player.h"
#include "player/playlist_feed.h"
#include "tests/support/http_file_server.h"
#include "tests/support/slowdown.h"
#include "tests/support/stream_checks.h"
#include "tests/support/tones.h"

namespace {

// A player with a server of tones beside it, and what it said.
struct Stand {
    Stand() {
        server.Add("/short1.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        server.Add("/short2.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        QObject::connect(&player, &Player::message, [this](const QString& text) { said << text; });
        QObject::connect(&player, &Player::notice, [this](const QString& text) { said << text; });
        QObject::connect(&player, &Player::playingChanged, [this](bool on) { playing = on; });
    }
    // Items as URLs, or as paths on the server.
    void fill(std::initializer_list<std::string> items) {
        QStringList rows;
        for (const std::string& item : items)
            rows << QString::fromStdString(item[0] == '/' ? server.Url(item) : item);
        player.Playlist().Append(rows);
    }
    int row() const { return player.Playlist().CurrentRow(); }

    HttpFileServer server;
    Player player;
    QStringList said;
    bool playing = false;
};

}  // namespace

class PlayerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(-1, 44100, 0, nullptr, nullptr)); }

    void advanceSkipsUnopenableStreamsAndStopsAtTheEnd() {
        Stand s;
        HttpFileServer gone;
        const std::string refused = gone.Url("/x.mp3");
        gone.Stop();
        s.fill({"/short1.wav", refused, "/missing.mp3", "/short2.wav"});
        s.player.Playlist().SetCurrentRow(0);
        s.player.PlayCurrent();
        QVERIFY(QTest::qWaitFor([&] { return !s.player.Opening(); }, 6000));
        QVERIFY(s.player.Stream() != 0 && s.player.Advancing());

        // The first track ends, the two bad ones are skipped about a second each, the last one plays.
        QVERIFY(QTest::qWaitFor([&] { return s.row() == 3 && s.player.Stream() != 0; }, 8000));
        QVERIFY(s.playing);
        QCOMPARE(s.player.CurrentStatus(), Player::Status::Playing);
        QVERIFY(QTest::qWaitFor([&] { return s.player.Stream() == 0; }, 4000));
        QCOMPARE(s.row(), 3);
        QVERIFY(!s.playing);
        QCOMPARE(s.player.CurrentStatus(), Player::Status::Stopped);
        QVERIFY(!s.player.Advancing());  // stopped at the end it stays stopped
        QVERIFY(s.said.isEmpty());
    }

    void silentAddressKeepsTheThreadAnswering() {
        Stand s;
        QTcpServer silent;  // accepts, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("http://127.0.0.1:%1/radio").arg(silent.serverPort());
        s.player.Playlist().Append({address});
        s.fill({"/short1.wav", "/short2.wav"});

        // While the address is opened the event loop runs on: a timer keeps its pace, play and the advance
        // leave the open alone. Then the steps after it run: no stream, the playing face, the advance
        // started, a notice; and the advance moves on.
        int ticks = 0;
        QTimer pace;
        connect(&pace, &QTimer::timeout, this, [&] { ++ticks; });
        pace.start(50);
        s.player.Playlist().SetCurrentRow(0);
        s.player.PlayCurrent();
        s.player.Play();
        s.player.AdvanceIfEnded();
        QVERIFY(s.player.Opening() && s.row() == 0 && !s.player.Advancing());
        QVERIFY(QTest::qWaitFor([&] { return !s.player.Opening(); }, 7000));
        QVERIFY2(ticks > 40, QByteArray::number(ticks));  // a hundred when nothing holds the thread
        QVERIFY(s.player.Stream() == 0 && s.playing && s.player.Advancing());
        QCOMPARE(s.said, QStringList{"Адрес не отвечает:\n" + address});
        s.said.clear();
        QVERIFY(QTest::qWaitFor([&] { return s.row() == 1 && s.player.Stream() != 0; }, 3000));

        // An open pressed over by another button, or paused, is dropped: nothing of it ever shows.
        QElapsedTimer clock;
        clock.start();
        s.player.Playlist().SetCurrentRow(0);
        s.player.PlayCurrent();
        s.player.Next();
        QVERIFY(QTest::qWaitFor([&] { return !s.player.Opening(); }, 6000) && s.row() == 1);
        s.player.Playlist().SetCurrentRow(0);
        s.player.PlayCurrent();
        s.player.Pause();
        QVERIFY(!s.player.Opening() && !s.playing && !s.player.Advancing());
        QTest::qWait(6000 - int(clock.elapsed()));
        QVERIFY(s.row() == 0 && !s.playing && s.player.Stream() == 0);
        QVERIFY(s.said.isEmpty());
    }

    void emptiedListIsReportedOncePerEndedTrack() {
        Stand s;
        s.fill({"/short1.wav"});
        s.player.Play();
        s.player.Playlist().Clear();
        QVERIFY(QTest::qWaitFor([&] { return !s.said.isEmpty(); }, 5000));
        s.player.AdvanceIfEnded();
        QCOMPARE(s.said, QStringList{Player::EmptyPlaylist});  // once, not every second

        // A new list and a new track: its end is reported again.
        s.fill({"/short2.wav"});
        s.player.Playlist().SetCurrentRow(0);
        s.player.PlayCurrent();
        QVERIFY(QTest::qWaitFor([&] { return !s.player.Opening(); }, 6000));
        s.player.Playlist().Clear();
        QVERIFY(QTest::qWaitFor([&] { return s.said.size() > 1; }, 5000));
        s.player.AdvanceIfEnded();
        QCOMPARE(s.said, QStringList(2, Player::EmptyPlaylist));
    }

    // A drop read quickly after a large one waits for all of the large one's rows: the rows come in the
    // order of the drops, whichever was read first.
    void dropsAreAppendedInTheOrderTheyCame() {
        Stand s;
        s.player.Playlist().Append({QStringLiteral("http://kept/0")});
        QStringList large;
        for (int i = 0; i < 3 * PlaylistFeed::kRowsPerTurn; ++i)
            large << QStringLiteral("http://a/%1").arg(i);
        QMimeData first, second;
        first.setText(large.join('\n'));
        second.setText(QStringLiteral("http://b/1"));
        s.player.AddDropped(first);
        s.player.AddDropped(second);
        QVERIFY(QTest::qWaitFor([&] { return s.player.Playlist().Count() == 1 + large.size() + 1; },
                                10000 * kSlowdown));
        QTest::qWait(50);
        QCOMPARE(s.player.Playlist().Addresses(),
                 QStringList{"http://kept/0"} + large + QStringList{"http://b/1"});
        QVERIFY(s.said.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "test_player.moc"
