// The player's cost. Serves a 3-minute 320 kbit/s MP3 from a local HTTP server and measures:
//  1. the CPU time (user + system, all threads) of Varnex playing it for a while, against gst-launch-1.0's
//     playbin playing the same stream to the same sink for the same while, in the same run;
//  2. the time from BASS_StreamCreateURL to the first audio (a non-zero level) for a local HTTP stream.
//
// Usage: bench_player [seconds (default 60)] [sink description (default "fakesink sync=true")]
// Varnex runs as a child process (this program again, with --play), offscreen, with the playlist holding the
// stream and play pressed; both children are timed by wait4.

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/image_button.h"
#include "player/audio_library.h"
#include "player/player.h"
#include "tests/support/http_file_server.h"
#include "tests/support/tones.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

struct Cpu {
    double playing = -1;  // seconds of CPU over the measured stretch of playing
    double total = -1;    // seconds of CPU over the process's whole life, start-up included
};

// CPU seconds (user + system, all threads) that process `pid` has used so far, from /proc.
double cpuSoFar(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return -1;
    char text[2048] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    const char* p = std::strrchr(text, ')');  // the command name may hold blanks
    if (!p || n == 0) return -1;
    unsigned long long utime = 0, stime = 0;
    // After ") ": state, then fields 4..13, then utime (14) and stime (15).
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs argv, lets it settle for `warmup` seconds, measures its CPU over the next `seconds`, then kills it.
Cpu timedRun(std::vector<std::string> args, int warmup, int seconds) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return {};
    }
    std::this_thread::sleep_for(std::chrono::seconds(warmup));
    const double before = cpuSoFar(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double after = cpuSoFar(pid);
    ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {before >= 0 && after >= 0 ? after - before : -1, cpuSeconds(usage)};
}

// The child: Varnex's main window playing `url` until killed.
int playInVarnex(int argc, char** argv, const char* url) {
    QApplication application(argc, argv);
    App::Prepare();
    App app;
    app.Playback().Playlist().Append({QString::fromUtf8(url)});
    emit app.Form1->findChild<TImage2*>(QStringLiteral("btnPlay"))->clicked();
    while (app.Playback().Opening()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (app.Playback().Stream() == 0) return 2;
    return QApplication::exec();
}

void firstAudio(HttpFileServer& server) {
    server.Add("/first.wav", tones::Wav(5.0, 44100, 2, 0.8, 0.8), "audio/wav");
    std::vector<double> created, heard;
    for (const char* path : {"/song.mp3", "/first.wav"}) {
        created.clear();
        heard.clear();
        for (int run = 0; run < 15; ++run) {
            const auto start = Clock::now();
            const HSTREAM h = BASS_StreamCreateURL(server.Url(path).c_str(), 0, 0, nullptr, nullptr);
            const auto made = Clock::now();
            BASS_ChannelPlay(h, false);
            // First audio: the sink's clock has begun to run over the tone's samples.
            for (int i = 0; i < 5000; ++i) {
                const DWORD level = BASS_ChannelGetLevel(h);
                if (level != 0 && level != 0xFFFFFFFFu && BASS_ChannelGetPosition(h, 0) > 0) break;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const auto now = Clock::now();
            created.push_back(std::chrono::duration<double, std::milli>(made - start).count());
            heard.push_back(std::chrono::duration<double, std::milli>(now - start).count());
            BASS_StreamFree(h);
        }
        std::printf(
            "%-11s BASS_StreamCreateURL %.1f ms, first audio %.1f ms after it began (median of 15; min %.1f,"
            " max %.1f)\n",
            path, median(created), median(heard), *std::min_element(heard.begin(), heard.end()),
            *std::max_element(heard.begin(), heard.end()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--play") return playInVarnex(1, argv, argv[2]);

    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string sink = argc > 2 ? argv[2] : "fakesink sync=true";
    setenv("VARNEX_AUDIO_SINK", sink.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::printf("encoding a 3-minute 320 kbit/s MP3...\n");
    std::fflush(stdout);
    const std::string song = tones::Mp3(180.0, 320);
    if (song.empty()) return 1;
    HttpFileServer server;
    server.Add("/song.mp3", song, "audio/mpeg");
    const std::string url = server.Url("/song.mp3");
    std::printf("%zu bytes at %s; sink \"%s\"; %d s each\n", song.size(), url.c_str(), sink.c_str(), seconds);
    std::fflush(stdout);

    constexpr int kWarmup = 3;
    const Cpu varnex = timedRun({argv[0], "--play", url}, kWarmup, seconds);
    const Cpu gst =
        timedRun({"gst-launch-1.0", "-q", "playbin", "uri=" + url, "audio-sink=" + sink}, kWarmup, seconds);
    std::printf(
        "CPU while playing, %d s after the first %d s: varnex %.2f s, gst-launch-1.0 playbin %.2f s, ratio "
        "%.2f\n",
        seconds, kWarmup, varnex.playing, gst.playing, varnex.playing / gst.playing);
    std::printf(
        "CPU over the whole run, start-up included (%d s): varnex %.2f s, gst-launch-1.0 playbin %.2f s\n",
        kWarmup + seconds, varnex.total, gst.total);

    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 1;
    firstAudio(server);
    return 0;
}
