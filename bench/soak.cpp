// Soak run: the real program for a given time with everything on at once, sampled each minute. AmbiLight
// drives the virtual board, colour music follows a stream that plays from a local HTTP server, and a real
// lircd sends a remote key every 100 ms (alternately the monitor-on key and the cancel key, each with the
// click sound). Each sample prints the program's resident memory, open descriptors, threads and X resources
// (the server's own per-client counts, as xrestop shows them), and the commands the board received since the
// last.
//
//   bench/soak [minutes] [seconds between samples] [--without keys,click,ambilight,music]
//
// It starts its own Xvfb; the default is 60 minutes, a sample every 60 s. --without leaves parts out, to find
// which one a growth comes with ("click" sends the keys without the click sound, "music" leaves the stream
// unplayed and colour music off).

#include <QClipboard>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <optional>

#include "bench/bench_util.h"
#include "settings/general_settings.h"
#include "settings/profile_file.h"
#include "tests/support/http_file_server.h"
#include "tests/support/tones.h"
#include "tests/support/x11_watch.h"

#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A process the run starts and always ends.
struct Child : QProcess {
    ~Child() override {
        terminate();
        if (!waitForFinished(5000)) kill(), waitForFinished(1000);
    }
};

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("soak: cannot write %s", qPrintable(path));
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}

// What one sample holds.
struct Sample {
    double rssMb = -1;
    int fds = -1;
    int threads = -1;
    long xResources = -1;  // every resource the X server holds for the program's connection
    long pixmaps = -1;
    long pixmapKb = -1;
    int clients = 0;  // the program's connections to the X server
};

int countEntries(const QString& folder) {
    return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

int threadsOf(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
    return -1;
}

// The X server's counts for the client that process `pid` opened.
void readXResources(Display* display, qint64 pid, Sample& sample) {
    XResClientIdSpec all{0, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(display, 1, &all, &count, &ids) != Success) return;
    std::vector<XID> clients;  // Qt's connection, and any the program's own X11 code opened
    for (long i = 0; i < count; ++i)
        if (XResGetClientPid(&ids[i]) == pid) clients.push_back(ids[i].spec.client);
    XResClientIdsDestroy(count, ids);

    const Atom pixmap = XInternAtom(display, "PIXMAP", False);
    sample.xResources = sample.pixmaps = sample.pixmapKb = 0;
    for (const XID client : clients) {
        int types = 0;
        XResType* resources = nullptr;
        if (XResQueryClientResources(display, client, &types, &resources)) {
            for (int i = 0; i < types; ++i) {
                sample.xResources += resources[i].count;
                if (resources[i].resource_type == pixmap) sample.pixmaps += resources[i].count;
            }
            XFree(resources);
        }
        unsigned long bytes = 0;
        if (XResQueryClientPixmapBytes(display, client, &bytes)) sample.pixmapKb += long(bytes / 1024);
    }
    sample.clients = int(clients.size());
}

Sample sampleOf(Display* display, qint64 pid) {
    Sample sample;
    sample.rssMb = residentMegabytes(pid);
    sample.fds = countEntries(QStringLiteral("/proc/%1/fd").arg(pid));
    sample.threads = threadsOf(pid);
    readXResources(display, pid, sample);
    return sample;
}

// Pointer and keys through XTest, as a user's.
void click(Display* display, QPoint at, int times = 1) {
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), 0);
    for (int i = 0; i < times; ++i) {
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
    }
    XSync(display, False);
}

void pressCtrl(Display* display, KeySym key) {
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode code = XKeysymToKeycode(display, key);
    XTestFakeKeyEvent(display, control, True, 0);
    XTestFakeKeyEvent(display, code, True, 0);
    XTestFakeKeyEvent(display, code, False, 0);
    XTestFakeKeyEvent(display, control, False, 0);
    XSync(display, False);
}

void pause(int ms) {
    waitFor([] { return false; }, ms);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QCommandLineParser options;
    const QCommandLineOption without(QStringLiteral("without"), QStringLiteral("Parts left out."),
                                     QStringLiteral("keys,click,ambilight,music"));
    options.addOption(without);
    options.process(application);
    const QStringList numbers = options.positionalArguments();
    const int minutes = numbers.size() > 0 ? std::max(1, numbers[0].toInt()) : 60;
    const int sampleSeconds = numbers.size() > 1 ? std::max(1, numbers[1].toInt()) : 60;
    const QStringList leftOut = options.value(without).split(',', Qt::SkipEmptyParts);
    const bool keysOn = !leftOut.contains(QStringLiteral("keys"));
    const bool ambiLightOn = !leftOut.contains(QStringLiteral("ambilight"));
    const bool musicOn = !leftOut.contains(QStringLiteral("music"));
    Display* display = XOpenDisplay(nullptr);
    if (!display) qFatal("soak: no X display");

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(folder);
    for (const QString& file : {QStringLiteral(VARNEX_EXECUTABLE), QStringLiteral(VARNEX_WEB_MODULE)})
        QFile::copy(file, folder + '/' + QFileInfo(file).fileName());
    writeFile(folder + QStringLiteral("/sound.wav"),
              QByteArray::fromStdString(tones::Wav(0.05, 8000, 1, .5, .5)));

    // The stream: a tone that outlasts the run, served as an internet radio would.
    HttpFileServer server;
    server.Add("/radio.wav", tones::Wav(minutes * 60 + 600, 8000, 1, .6, .6, 8), "audio/x-wav");

    Child board;
    const QString link = dir.filePath(QStringLiteral("board"));
    board.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    board.start(QStringLiteral(VARNEX_BOARD_EXECUTABLE),
                {QStringLiteral("--link"), link, QStringLiteral("--print")});
    long boardReads = 0;
    QObject::connect(&board, &QProcess::readyReadStandardOutput, [&] {
        while (board.canReadLine()) boardReads += board.readLine().startsWith("levels");
    });
    if (!waitFor([&] { return QFileInfo::exists(link); }, 10000))
        qFatal("soak: the virtual board did not start");

    const quint16 lircPort = freePort();
    writeFile(dir.filePath(QStringLiteral("opts.conf")), "[lircd]\nnodaemon = True\n");
    writeFile(dir.filePath(QStringLiteral("lircd.conf")),
              "begin remote\n name SOAK\n bits 16\n begin codes\n  KEY_SCREEN 0x1\n  KEY_EXIT 0x2\n"
              "  KEY_GREEN 0x3\n  KEY_RED 0x4\n end codes\nend remote\n");
    Child lircd;
    lircd.start(
        QStringLiteral("lircd"),
        {"-O", dir.filePath("opts.conf"), "--nodaemon", "--driver=file", "--device=/dev/null",
         "--output=" + dir.filePath("lircd.sock"), "--pidfile=" + dir.filePath("lircd.pid"),
         "--logfile=" + dir.filePath("lircd.log"), QStringLiteral("--listen=127.0.0.1:%1").arg(lircPort),
         "--allow-simulate", dir.filePath("lircd.conf")});
    const auto send = [&](const char* key) {
        return QProcess::execute(QStringLiteral("irsend"),
                                 {"-d", dir.filePath("lircd.sock"), "SIMULATE",
                                  QStringLiteral("0000000000000001 00 %1 SOAK").arg(key)}) == 0;
    };

    // Opens the port and connects to lircd at start; the keys as the settings window would store them.
    GeneralSettings settings;
    settings.port = link;
    settings.CheckBox(1) = settings.CheckBox(6) = settings.CheckBox(9) = true;
    settings.CheckBox(8) = !leftOut.contains(QStringLiteral("click"));
    settings.edits[4] = QStringLiteral("KEY_RED");
    settings.edits[5] = QStringLiteral("KEY_GREEN");
    settings.edits[7] = QStringLiteral("KEY_EXIT");
    settings.edits[8] = QStringLiteral("KEY_SCREEN");
    ProfileFile file;
    WriteGeneralSettings(file, settings);
    file.Save(folder + QStringLiteral("/settings.ini"));

    X11Watch watch;
    Child program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARNEX_SERIAL_PORTS"), link);
    environment.insert(QStringLiteral("VARNEX_WINLIRC_PORT"), QString::number(lircPort));
    environment.insert(QStringLiteral("VARNEX_AUDIO_SINK"), QStringLiteral("fakesink sync=true"));
    environment.insert(QStringLiteral("VARNEX_MESSAGES"), QStringLiteral("stderr"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(folder + QStringLiteral("/varnex"), {});
    const auto window = watch.waitForWindow(QStringLiteral("Varnex"), 20000, program.processId());
    if (!window) qFatal("soak: the program showed no window");
    const qint64 pid = program.processId();

    // The stream into the playlist as a user pastes it, then a double click on its row.
    QGuiApplication::clipboard()->setText(QString::fromStdString(server.Url("/radio.wav")));
    const int menu = window->geometry.height() - 220;
    const QPoint origin = window->geometry.topLeft();
    pause(1000);
    click(display, origin + QPoint(375, menu + 132));  // the playlist button
    pause(1000);
    click(display, origin + QPoint(200, menu + 112 + 170));
    pressCtrl(display, XK_v);
    pause(1000);
    if (musicOn) click(display, origin + QPoint(60, menu + 112 + 109 + 8), 2);
    // AmbiLight and colour music from the remote, once lircd is connected.
    pause(5000);
    if ((ambiLightOn && !send("KEY_GREEN")) || (musicOn && !send("KEY_RED"))) qFatal("soak: irsend failed");

    std::printf("soak: %d min, a sample every %d s; program pid %lld in %s\n", minutes, sampleSeconds,
                qlonglong(pid), qPrintable(folder));
    std::printf("%6s %9s %5s %8s %9s %6s %8s %10s %12s %8s\n", "min", "rss MB", "fds", "threads", "X conns",
                "X res", "pixmaps", "pixmap KB", "board reads", "keys");
    std::fflush(stdout);

    long keys = 0, failedKeys = 0;
    QTimer keyTimer;
    keyTimer.setInterval(100);
    QObject::connect(&keyTimer, &QTimer::timeout,
                     [&] { (send(keys % 2 ? "KEY_EXIT" : "KEY_SCREEN") ? keys : failedKeys)++; });
    if (keysOn) keyTimer.start();

    std::vector<Sample> samples;
    const auto print = [&](double at) {
        const Sample s = sampleOf(display, pid);
        samples.push_back(s);
        std::printf("%6.1f %9.1f %5d %8d %9d %6ld %8ld %10ld %12ld %8ld\n", at, s.rssMb, s.fds, s.threads,
                    s.clients, s.xResources, s.pixmaps, s.pixmapKb, boardReads, keys);
        std::fflush(stdout);
        boardReads = 0;
    };
    QElapsedTimer clock;
    clock.start();
    print(0);
    for (int n = 1; n * sampleSeconds <= minutes * 60; ++n) {
        waitFor(
            [&] {
                return clock.elapsed() >= qint64(n) * sampleSeconds * 1000 ||
                       program.state() != QProcess::Running;
            },
            sampleSeconds * 1000 + 5000);
        if (program.state() != QProcess::Running) {
            std::printf("soak: the program ended (exit code %d)\n", program.exitCode());
            return 1;
        }
        print(clock.elapsed() / 60000.0);
    }
    keyTimer.stop();

    // Growth after warm-up: from the second sample (the first minute loads the stream and the caches) to the
    // end.
    const Sample& first = samples.size() > 1 ? samples[1] : samples.front();
    const Sample& last = samples.back();
    std::printf(
        "growth from the second sample to the last: rss %+.1f MB, fds %+d, threads %+d, X resources %+ld, "
        "pixmaps %+ld; keys sent %ld, failed %ld\n",
        last.rssMb - first.rssMb, last.fds - first.fds, last.threads - first.threads,
        last.xResources - first.xResources, last.pixmaps - first.pixmaps, keys, failedKeys);
    XCloseDisplay(display);
    return 0;
}
