// The audio library over real GStreamer: streams served by a local HTTP server, played to a silent sink that
// keeps real time.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "player/audio_library.h"
#include "tests/support/http_file_server.h"
#include "tests/support/stream_checks.h"
#include "tests/support/tones.h"

namespace {

constexpr QWORD kFailed = ~QWORD{0};
constexpr DWORD kNoLevel = 0xFFFFFFFFu;
constexpr std::int64_t kBytesPerSecond = 44100 * 2 * 2;

int left(DWORD level) {
    return static_cast<int>(level & 0xFFFF);
}
int right(DWORD level) {
    return static_cast<int>(level >> 16);
}

// What `run` writes on stderr.
std::string stderrOf(const std::function<void()>& run) {
    std::FILE* capture = std::tmpfile();
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(fileno(capture), 2);
    run();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::string text(static_cast<std::size_t>(std::ftell(capture)), '\0');
    std::rewind(capture);
    text.resize(std::fread(text.data(), 1, text.size(), capture));
    std::fclose(capture);
    return text;
}

// The network library that GStreamer's HTTP source loaded into this process; empty before the first stream.
std::string loadedLibsoup() {
    for (const char* name : {"libsoup-3.0.so.0", "libsoup-2.4.so.1"}) {
        if (void* handle = ::dlopen(name, RTLD_NOW | RTLD_NOLOAD)) {
            ::dlclose(handle);
            return name;
        }
    }
    return {};
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
    std::optional<HttpFileServer> server;

private slots:
    void initTestCase() {
        // GStreamer's HTTP source uses the libsoup already in the process, else libsoup 3 when it is
        // installed, else libsoup 2.4. VARNEX_TEST_LIBSOUP names one to load first, so that each can be
        // tested on a machine that has both.
        const QByteArray libsoup = qgetenv("VARNEX_TEST_LIBSOUP");
        if (!libsoup.isEmpty() && !::dlopen(libsoup.constData(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE))
            QSKIP(libsoup + " is not installed");
        // One case goes through a proxy. The variable is made here, before GStreamer's first thread, and
        // only its value changes later: adding a variable makes glibc replace (and free) the array that
        // getenv walks, and GStreamer's threads read the environment at any time, so adding one while they
        // run is a use after free. An empty value names no proxy.
        qputenv("http_proxy", "");
        QVERIFY(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void init() { server.emplace(); }
    void cleanup() { server.reset(); }

    void unopenableStreamsFailQuicklySayingWhy() {
        server->Add("/page.html", "<html><body>no audio here</body></html>", "text/html");
        HttpFileServer gone;
        const std::string refused = gone.Url("/a.mp3");
        const std::string goneAddress = "127.0.0.1:" + std::to_string(gone.Port());
        gone.Stop();
        // A name that no name server is asked for: a label longer than 63 characters cannot be put in a
        // query, so the look-up fails on this machine.
        const std::string unknownHost = std::string(64, 'a') + ".invalid";
        // Audio that only a scheme other than http, https and file would read.
        QTemporaryFile wav;
        QVERIFY(wav.open());
        const std::string tone = tones::Wav(1.0, 44100, 2, 0.5, 0.5);
        QVERIFY(wav.write(tone.data(), qint64(tone.size())) == qint64(tone.size()) && wav.flush());
        const std::string fd =
            "fd://" + std::to_string(::open(qPrintable(wav.fileName()), O_RDONLY | O_CLOEXEC));

        // Each known long before the time limit, with one line on stderr that tells one failure from another:
        // the HTTP status, or why no answer came, whichever libsoup GStreamer uses.
        struct Case {
            std::string url, reason, proxy = {};
        };
        const auto line = [](const std::string& url, const std::string& why) {
            return "varnex: " + url + ": source: " + why;
        };
        const std::string missing = server->Url("/missing.mp3"), viaProxy = server->Url("/a.mp3"),
                          unknown = "http://" + unknownHost + "/a.mp3";
        for (const Case& c :
             {Case{missing, line(missing, "HTTP 404 Not Found\n")},
              Case{refused, line(refused, "connection refused by " + goneAddress + "\n")},
              Case{server->Url("/page.html"), "missing a plug-in"},
              Case{unknown, line(unknown, "host not found: " + unknownHost + " (")},
              Case{viaProxy, line(viaProxy, "connection refused by the proxy " + goneAddress + "\n"),
                   "http://" + goneAddress},
              Case{"no such file anywhere.mp3", "not found"}, Case{fd, "not an http, https or file URL"}}) {
            if (!c.proxy.empty()) qputenv("http_proxy", QByteArray::fromStdString(c.proxy));
            QElapsedTimer clock;
            clock.start();
            HSTREAM h = 1;
            const std::string said = stderrOf([&] { h = open(c.url); });
            qputenv("http_proxy", "");
            QCOMPARE(h, HSTREAM{0});
            QVERIFY2(clock.elapsed() < 2500, c.url.c_str());
            QVERIFY2(std::count(said.begin(), said.end(), '\n') == 1 && said.find(c.reason) != said.npos,
                     said.c_str());
        }
        const std::string libsoup = loadedLibsoup();
        qInfo("GStreamer's HTTP source uses %s", libsoup.c_str());
        const QByteArray wanted = qgetenv("VARNEX_TEST_LIBSOUP");
        if (!wanted.isEmpty()) QCOMPARE(libsoup, wanted.toStdString());

        // Every call on no stream fails quietly with the failure values.
        for (HSTREAM dead : {HSTREAM{0}, HSTREAM{987654}}) {
            QCOMPARE(BASS_ChannelGetLength(dead, 0), kFailed);
            QCOMPARE(BASS_ChannelGetPosition(dead, 0), kFailed);
            QCOMPARE(BASS_ChannelGetLevel(dead), kNoLevel);
            QVERIFY(BASS_ChannelBytes2Seconds(dead, 176400) < 0 && !BASS_ChannelPlay(dead, false) &&
                    !BASS_ChannelPause(dead) && !BASS_ChannelSetPosition(dead, 0, 0) &&
                    !BASS_ChannelStop(dead) && !BASS_StreamFree(dead));
        }
    }

    void silentServerIsGivenUpAfterFiveSeconds() {
        QTcpServer silent;  // the system completes the connection; nobody ever answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const std::string address = "http://127.0.0.1:" + std::to_string(silent.serverPort()) + "/a.mp3";
        server->Add("/tone.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");

        // Opens that nobody waits for answer later, from the event loop: one that opens, two that cannot (in
        // the first 2.5 s), and the silent one after five seconds, as not answering. A dropped open never
        // answers.
        std::map<std::string, std::tuple<bool, bool, qint64>> answers;  // opened, no answer, 2.5 s steps
        HSTREAM tone = 0;
        QElapsedTimer clock;
        clock.start();
        const auto openLater = [&](const char* name, const std::string& url) {
            return audio_library::OpenStreamURL(url.c_str(), [&, name](HSTREAM h, bool noAnswer) {
                answers[name] = {h != 0, noAnswer, clock.elapsed() / 2500};
                if (h) tone = h;
            });
        };
        const std::string said = stderrOf([&] {
            openLater("silent", address);
            audio_library::CancelOpen(openLater("dropped", address));
            openLater("tone", server->Url("/tone.wav"));
            openLater("missing", server->Url("/missing.wav"));
            openLater("ftp", "ftp://127.0.0.1/a.mp3");
            QVERIFY(answers.empty());
            QVERIFY(QTest::qWaitFor([&] { return answers.size() == 4; }, 7000));
        });
        QVERIFY(answers == decltype(answers)({{"ftp", {false, false, 0}},
                                              {"missing", {false, false, 0}},
                                              {"silent", {false, true, 2}},
                                              {"tone", {true, false, 0}}}));
        QCOMPARE(length(tone), kBytesPerSecond);
        QVERIFY(BASS_StreamFree(tone));
        QCOMPARE(std::count(said.begin(), said.end(), '\n'), 3);
        QVERIFY2(said.find(address + ": not ready within 5 s") != said.npos, said.c_str());

        // Waited for, the silent one takes as long.
        clock.restart();
        QCOMPARE(open(address), HSTREAM{0});
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 4500 && took < 7000, QByteArray::number(took));
    }

    void wavPlaysPausesAndEnds() {
        server->Add("/tone.wav", tones::Wav(1.5, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server->Url("/tone.wav"));
        QVERIFY(h != 0);
        QCOMPARE(length(h), std::int64_t{kBytesPerSecond * 3 / 2});
        QCOMPARE(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0)), 1.5);
        QCOMPARE(position(h), std::int64_t{0});
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);  // not started

        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) > kBytesPerSecond / 5; }, 2000));
        QVERIFY(BASS_ChannelPause(h));
        const std::int64_t paused = settledPosition(h);
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

        QVERIFY(BASS_ChannelStop(h) && BASS_StreamFree(h));
        QCOMPARE(BASS_ChannelGetLength(h, 0), kFailed);
        QCOMPARE(BASS_ChannelGetPosition(h, 0), kFailed);
    }

    void mp3KnowsItsLengthBeforePlaying() {
        const std::string mp3 = tones::Mp3(2.0, 128);
        QVERIFY(!mp3.empty());
        server->Add("/tone.mp3", mp3, "audio/mpeg");
        const HSTREAM h = open(server->Url("/tone.mp3"));
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

    void unitsFollowTheDecodedFormat() {
        // An output that takes only 48 kHz stereo: the units still come from the decoded stream.
        const QByteArray sink = qgetenv("VARNEX_AUDIO_SINK");
        qputenv("VARNEX_AUDIO_SINK",
                "capsfilter caps=audio/x-raw,rate=48000,channels=2 ! fakesink sync=true");
        QVERIFY(BASS_Init(-1, 44100, 0, nullptr, nullptr));
        server->Add("/mono.wav", tones::Wav(1.0, 22050, 1, 0.5, 0.5), "audio/wav");
        // A second at 44.1 kHz, then one at 22.05 kHz, as chained internet radio changes its rate.
        server->Add("/chained.mp3", tones::Mp3(1.0, 128) + tones::Mp3(1.0, 64, 22050), "audio/mpeg");
        const HSTREAM mono = open(server->Url("/mono.wav"));
        QCOMPARE(length(mono), std::int64_t{44100});
        BASS_StreamFree(mono);
        const HSTREAM h = open(server->Url("/chained.mp3"));
        QCOMPARE(BASS_ChannelBytes2Seconds(h, kBytesPerSecond), 1.0);
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(
            QTest::qWaitFor([&] { return BASS_ChannelBytes2Seconds(h, kBytesPerSecond / 2) == 1.0; }, 4000));
        BASS_StreamFree(h);
        qputenv("VARNEX_AUDIO_SINK", sink);
        QVERIFY(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }

    void seekingMovesThePosition() {
        server->Add("/tone.wav", tones::Wav(3.0, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server->Url("/tone.wav"));
        QVERIFY(h != 0 && BASS_ChannelPlay(h, false));
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
        server->SetRangesHonoured(false);
        server->Add("/tone.wav", tones::Wav(1.5, 44100, 2, 0.5, 0.5), "audio/wav");
        const HSTREAM h = open(server->Url("/tone.wav"));
        QVERIFY(h != 0 && BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) > 0; }, 2000));
        QVERIFY(BASS_ChannelPause(h));
        const std::int64_t paused = settledPosition(h);
        QVERIFY(paused > 0 && paused < length(h));
        QVERIFY(!BASS_ChannelSetPosition(h, kBytesPerSecond, 0));
        QVERIFY(!BASS_ChannelSetPosition(h, 0, 0));
        QCOMPARE(position(h), paused);
        // Playback goes on from where it was, to the end.
        QVERIFY(BASS_ChannelPlay(h, false));
        QVERIFY(position(h) >= paused);
        QVERIFY(playsToEnd(h, 3000));
        BASS_StreamFree(h);
    }

    void levelsFollowTheChannels() {
        // Samples of other widths and kinds read on the same scale (8-bit within its coarser step).
        struct Case {
            const char* path;
            double leftAmplitude, rightAmplitude;
            int bits, left, right;
            int tolerance = 40;
        };
        for (const Case c :
             {Case{"/left.wav", 0.9, 0.0, 16, 29490, 0}, Case{"/right.wav", 0.0, 0.3, 16, 0, 9830},
              Case{"/silence.wav", 0.0, 0.0, 16, 0, 0}, Case{"/u8.wav", 0.9, 0.3, 8, 29490, 9830, 400},
              Case{"/s24.wav", 0.9, 0.3, 24, 29490, 9830}, Case{"/f32.wav", 0.9, 0.3, 32, 29490, 9830}}) {
            server->Add(c.path, tones::Wav(2.0, 44100, 2, c.leftAmplitude, c.rightAmplitude, c.bits),
                        "audio/wav");
            const HSTREAM h = open(server->Url(c.path));
            QVERIFY2(h != 0 && BASS_ChannelPlay(h, false), c.path);
            QVERIFY2(QTest::qWaitFor([&] { return position(h) > kBytesPerSecond / 5; }, 2000), c.path);
            for (int i = 0; i < 5; ++i) {
                const DWORD level = BASS_ChannelGetLevel(h);
                QVERIFY2(std::abs(left(level) - c.left) <= c.tolerance, c.path);
                QVERIFY2(std::abs(right(level) - c.right) <= c.tolerance, c.path);
                QTest::qWait(33);
            }
            BASS_ChannelStop(h);
            QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
            BASS_StreamFree(h);
            QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        }
    }

    void shortStreamsPlayWhatArrivedAndEndThere() {
        // A second of audio each: a WAV whose header promises three, and an MP3 whose server says 2 GB (its
        // length estimated at 37 hours) and closes after the second, refusing the range asked for the rest.
        std::string wav = tones::Wav(3.0, 44100, 2, 0.5, 0.5);
        wav.resize(44 + kBytesPerSecond);
        server->Add("/cut.wav", wav, "audio/wav");
        server->Add("/short.mp3", tones::Mp3(1.0, 128), "audio/mpeg");
        server->ClaimLength("/short.mp3", std::size_t{1} << 31);
        for (const char* path : {"/cut.wav", "/short.mp3"}) {
            const HSTREAM h = open(server->Url(path));
            QVERIFY2(h != 0, path);
            QElapsedTimer clock;
            clock.start();
            QVERIFY(BASS_ChannelPlay(h, false));
            QVERIFY2(playsToEnd(h, 4000), path);
            // It played the second that arrived, and its length is now what was heard.
            QVERIFY2(clock.elapsed() > 800, path);
            const double seconds = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h, 0));
            QVERIFY2(seconds > 0.95 && seconds < 1.1, QByteArray::number(seconds));
            BASS_StreamFree(h);
        }
    }

    void serverDyingMidTrackEndsIt() {
        // Three quarters of it sent: more than the player buffers before it starts (half of it was about as
        // much, so that the player now and then waited for the rest of its buffer and never started).
        const std::string wav = tones::Wav(6.0, 44100, 2, 0.5, 0.5);
        server->Add("/tone.wav", wav, "audio/wav");
        server->StallAfter("/tone.wav", wav.size() / 4 * 3);
        const HSTREAM h = open(server->Url("/tone.wav"));
        QVERIFY(h != 0 && BASS_ChannelPlay(h, false));
        QVERIFY(QTest::qWaitFor([&] { return position(h) > kBytesPerSecond / 4; }, 2000));
        server->Stop();  // the server goes away with a quarter of the file unsent
        // What arrived plays out, and the track ends there: four and a half seconds long.
        QVERIFY(playsToEnd(h, 8000));
        QCOMPARE(BASS_ChannelGetLevel(h), kNoLevel);
        QVERIFY2(std::llabs(length(h) - 9 * kBytesPerSecond / 2) < kBytesPerSecond / 10,
                 QByteArray::number(length(h)));
        BASS_StreamFree(h);
    }
};

QTEST_GUILESS_MAIN(AudioLibraryTest)
#include "test_audio_library.moc"
