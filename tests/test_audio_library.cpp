// The audio library over real GStreamer: streams served by a local HTTP server, played to a silent sink that
// keeps real time.

#include <QElapsedTimer>
#include <QTest>
#include <cstdint>

#include "player/audio_library.h"
#include "tests/support/http_file_server.h"
#include "tests/support/tones.h"

namespace {

constexpr QWORD kFailed = ~QWORD{0};
constexpr DWORD kNoLevel = 0xFFFFFFFFu;
constexpr std::int64_t kBytesPerSecond = 44100 * 2 * 2;

std::int64_t length(HSTREAM h) {
    return static_cast<std::int64_t>(BASS_ChannelGetLength(h, 0));
}
std::int64_t position(HSTREAM h) {
    return static_cast<std::int64_t>(BASS_ChannelGetPosition(h, 0));
}
int left(DWORD level) {
    return static_cast<int>(level & 0xFFFF);
}
int right(DWORD level) {
    return static_cast<int>(level >> 16);
}

HSTREAM open(const std::string& url) {
    return BASS_StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
}

// Plays `h` and waits until it has ended, checking on the way that the position never goes back or past the
// length. False when it did not end within `limitMs`.
bool playsToEnd(HSTREAM h, int limitMs) {
    std::int64_t last = 0;
    bool orderly = true;
    const bool ended = QTest::qWaitFor(
        [&] {
            const std::int64_t now = position(h);
            if (now < last || now > length(h)) orderly = false;
            last = now;
            return now == length(h);
        },
        limitMs);
    return ended && orderly;
}

}  // namespace

class AudioLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(-1, 44100, 0, nullptr, nullptr)); }

    void unopenableStreamsFailQuickly() {
        HttpFileServer server;
        server.Add("/page.html", "<html><body>no audio here</body></html>", "text/html");
        HttpFileServer gone;
        const std::string refused = gone.Url("/a.mp3");
        gone.Stop();

        for (const std::string& url : {server.Url("/missing.mp3"), refused}) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(open(url), HSTREAM{0});
            QVERIFY2(clock.elapsed() < 1000, url.c_str());
        }
        QCOMPARE(open(server.Url("/page.html")), HSTREAM{0});
        QCOMPARE(open("no such file anywhere.mp3"), HSTREAM{0});

        // Every call on no stream fails quietly with the failure values.
        for (HSTREAM dead : {HSTREAM{0}, HSTREAM{987654}}) {
            QCOMPARE(BASS_ChannelGetLength(dead, 0), kFailed);
            QCOMPARE(BASS_ChannelGetPosition(dead, 0), kFailed);
            QCOMPARE(BASS_ChannelGetLevel(dead), kNoLevel);
            QVERIFY(BASS_ChannelBytes2Seconds(dead, 176400) < 0);
            QVERIFY(!BASS_ChannelPlay(dead, false));
            QVERIFY(!BASS_ChannelPause(dead));
            QVERIFY(!BASS_ChannelSetPosition(dead, 0, 0));
            QVERIFY(!BASS_ChannelStop(dead));
            QVERIFY(!BASS_StreamFree(dead));
        }
    }

    void wavPlaysPausesAndEnds() {
        HttpFileServer server;
        server.Add("/tone.wav", tones::Wav(1.5, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server.Url("/tone.wav"));
        QVERIFY(h != 0);
        QCOMPARE(length(h), std::int64_t{kBytesPerSecond * 3 / 2});
        QCOMPARE(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 1.5);
        QCOMPARE(position(h), std::int64_t{0});
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);  // not started

        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) > kBytesPerSecond / 5; }, 2000));
        QVERIFY(BASS_ChannelPause(h));
        QTest::qWait(100);
        const std::int64_t paused = position(h);
        QTest::qWait(300);
        QCOMPARE(position(h), paused);
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        QVERIFY(paused < length(h));

        QVERIFY(BASS_ChannelPlay(h, false));  // resumes where it stood
        QTest::qWait(100);
        QVERIFY(position(h) >= paused);
        QVERIFY(playsToEnd(h, 4000));
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        QTest::qWait(200);
        QCOMPARE(position(h), length(h));  // stays at the end

        QVERIFY(BASS_ChannelStop(h));
        QVERIFY(BASS_StreamFree(h));
        QCOMPARE(BASS_ChannelGetLength(h, 0), kFailed);
        QCOMPARE(BASS_ChannelGetPosition(h, 0), kFailed);
    }

    void mp3KnowsItsLengthBeforePlaying() {
        const std::string mp3 = tones::Mp3(2.0, 128);
        QVERIFY(!mp3.empty());
        HttpFileServer server;
        server.Add("/tone.mp3", mp3, "audio/mpeg");
        const HSTREAM h = open(server.Url("/tone.mp3"));
        QVERIFY(h != 0);
        // The encoder pads the end a little: the length is the file's, within a frame or two.
        const double seconds = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0));
        QVERIFY2(seconds > 1.95 && seconds < 2.15, QByteArray::number(seconds));
        QCOMPARE(length(h) % 4, std::int64_t{0});
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(playsToEnd(h, 5000));
        const double after = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0));
        QVERIFY2(after > 1.95 && after < 2.15, QByteArray::number(after));
        BASS_StreamFree(h);
    }

    void seekingMovesThePosition() {
        HttpFileServer server;
        server.Add("/tone.wav", tones::Wav(3.0, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server.Url("/tone.wav"));
        QVERIFY(h != 0);
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(!BASS_ChannelSetPosition(h, length(h) + 4, 0));  // past the end
        QVERIFY(!BASS_ChannelSetPosition(h, 0, 1));              // only bytes
        QVERIFY(BASS_ChannelSetPosition(h, 2 * kBytesPerSecond + 2, 0));
        QVERIFY(QTest::qWaitFor([&] { return position(h) >= 2 * kBytesPerSecond; }, 1000));
        // And back while paused.
        QVERIFY(BASS_ChannelPause(h));
        QVERIFY(BASS_ChannelSetPosition(h, kBytesPerSecond / 2, 0));
        QVERIFY(QTest::qWaitFor([&] { return position(h) < kBytesPerSecond; }, 1000));
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(playsToEnd(h, 4000));
        BASS_StreamFree(h);
    }

    void serverWithoutRangesCannotSeek() {
        HttpFileServer server;
        server.SetRangesHonoured(false);
        server.Add("/tone.wav", tones::Wav(1.5, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server.Url("/tone.wav"));
        QVERIFY(h != 0);
        QVERIFY(BASS_ChannelPlay(h, false));
        QTest::qWait(200);
        QVERIFY(!BASS_ChannelSetPosition(h, kBytesPerSecond, 0));
        const std::int64_t before = position(h);
        QVERIFY(before < kBytesPerSecond / 2);
        QTest::qWait(300);
        QVERIFY(position(h) > before);  // playback went on from where it was
        QVERIFY(position(h) < kBytesPerSecond);
        QVERIFY(playsToEnd(h, 3000));
        BASS_StreamFree(h);
    }

    void levelsFollowTheChannels() {
        HttpFileServer server;
        server.Add("/left.wav", tones::Wav(2.0, 44100, 2, 0.9, 0.0), "audio/wav");
        server.Add("/right.wav", tones::Wav(2.0, 44100, 2, 0.0, 0.3), "audio/wav");
        server.Add("/silence.wav", tones::Wav(2.0, 44100, 2, 0.0, 0.0), "audio/wav");
        struct Case {
            const char* path;
            int left, right;
        };
        for (const Case c :
             {Case{"/left.wav", 29490, 0}, Case{"/right.wav", 0, 9830}, Case{"/silence.wav", 0, 0}}) {
            const HSTREAM h = open(server.Url(c.path));
            QVERIFY(h != 0);
            QVERIFY(BASS_ChannelPlay(h, false));
            QTest::qWait(300);
            for (int i = 0; i < 5; ++i) {
                const DWORD level = BASS_ChannelGetLevel(h);
                QVERIFY2(std::abs(left(level) - c.left) <= 40, c.path);
                QVERIFY2(std::abs(right(level) - c.right) <= 40, c.path);
                QTest::qWait(33);
            }
            BASS_ChannelStop(h);
            QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
            BASS_StreamFree(h);
            QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        }
    }

    void truncatedFileEndsWhereItsDataEnds() {
        // A WAV whose header promises three seconds but that holds one.
        HttpFileServer server;
        std::string wav = tones::Wav(3.0, 44100, 2, 0.5, 0.5);
        wav.resize(44 + kBytesPerSecond);
        server.Add("/cut.wav", wav, "audio/wav");
        const HSTREAM h = open(server.Url("/cut.wav"));
        QVERIFY(h != 0);
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) == length(h); }, 2500));
        BASS_StreamFree(h);
    }

    void serverDyingMidTrackEndsIt() {
        HttpFileServer server;
        const std::string wav = tones::Wav(3.0, 44100, 2, 0.5, 0.5);
        server.Add("/tone.wav", wav, "audio/wav");
        server.DieAfter("/tone.wav", wav.size() / 3);
        const HSTREAM h = open(server.Url("/tone.wav"));
        QVERIFY(h != 0);
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) == length(h); }, 4000));
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        BASS_StreamFree(h);
    }
};

QTEST_GUILESS_MAIN(AudioLibraryTest)
#include "test_audio_library.moc"
