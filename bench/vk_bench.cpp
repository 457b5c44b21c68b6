// The VK playlist builder's costs, as medians of several runs, against a local site: a server on 127.0.0.1
// that the web engine uses as its proxy, with a login, a profile and an audio page of 1000 links.
//  1. Resident memory of the program 3 s after start-up with the playlist option off (the engine is not
//     loaded then): this build's varnex, and another executable given for comparison (the build before).
//  2. The time from btnVkClick to the filled playlist: the first click of a run (loading and starting the
//     engine included) and the later clicks of the same run.
//  3. Resident memory of the program after its first playlist build, and of the engine's helper processes.
//  4. A crafted audio page of 3 MB (markers back to back, a comma every 8 KB: every marker a link of up to
//     8 KB): how much the program's resident memory grows over what it held after an ordinary build,
//     and the longest the window's event loop went without turning (a 5 ms timer's longest gap) from the
//     click to the bounded list.
//
//   build/bench/bench_vk [runs] [other-varnex]      (default 5 runs; offscreen)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_util.h"
#include "common/messages.h"
#include "player/player.h"
#include "player/vk_site.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"
#include "tests/support/http_file_server.h"

namespace {

constexpr int kLinks = 1000;
constexpr qsizetype kCraftedBytes = 3'000'000;

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Resident memory of every descendant of `pid` (the engine's helper processes).
double descendantsMegabytes(qint64 pid) {
    double total = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        const QByteArray stat = procFile(child, "stat");
        if (!number || stat.isEmpty()) continue;
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid)
            total += residentMegabytes(child) + descendantsMegabytes(child);
    }
    return total;
}

void serveSite(HttpFileServer& server) {
    const auto pathOf = [](const QString& address) {
        return QUrl(address)
            .toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded)
            .toStdString();
    };
    server.AddRedirect(pathOf(vk::LoginAddress()), vk::ProfileAddress().toStdString(),
                       "s=1; Domain=vk.com; Path=/");
    server.Add(pathOf(vk::ProfileAddress()), "<html><body>profile</body></html>", "text/html");
    std::string page = "<html><head><meta charset=utf-8></head><body>";
    for (int i = 0; i < kLinks; ++i)
        page += "<div class=audio><b>Исполнитель " + std::to_string(i) +
                "</b> — Песня<input type=hidden value='http://cs" + std::to_string(i % 97) +
                ".test/u1/audio/" + std::to_string(i) + ".mp3,215'></div>\n";
    server.Add(pathOf(vk::AudioAddress(QStringLiteral("5"))), page + "</body></html>", "text/html");
    std::string segment;
    for (int i = 0; i < 900; ++i) segment += "http://cs";
    segment += ',';
    std::string crafted = "<html><body>";
    while (crafted.size() < kCraftedBytes) crafted += segment;
    server.Add(pathOf(vk::AudioAddress(QStringLiteral("6"))), crafted + "</body></html>", "text/html");
}

// Runs the event loop until `done` holds (or 60 s pass); the longest gap between two turns of a 5 ms timer
// in milliseconds. Waited for in a plain event loop, as the program's own: QTest::qWaitFor sleeps between its
// rounds of events, which starves the engine's message pump and makes every page take about a second.
double runUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer sinceTurn;
    double longest = 0;
    sinceTurn.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
        if (done()) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return longest;
}

// A fresh program folder holding a copy of `executable` (and no settings.ini: every option off).
QString programIn(const QTemporaryDir& folder, const QString& executable) {
    const QString copy = folder.filePath(QStringLiteral("varnex"));
    QFile::copy(executable, copy);
    return copy;
}

// Child mode: clicks btnVk `clicks` times in one process; prints the milliseconds of each click to the filled
// list, then the resident memory of this process and of its descendants.
int clickRun(int clicks) {
    QTemporaryDir folder;
    App app(folder.path());
    TForm1& form = *app.Form1;
    app.Form2->LEdit9->setText(QStringLiteral("5"));
    double afterFirst = 0, helpers = 0;
    for (int i = 0; i < clicks; ++i) {
        app.Playback().Playlist().Clear();
        QElapsedTimer timer;
        timer.start();
        form.btnVkClick();
        runUntil([&] { return app.Playback().Playlist().Count() == kLinks; });
        if (app.Playback().Playlist().Count() != kLinks) {
            std::fprintf(stderr, "the list holds %d links, not %d\n", int(app.Playback().Playlist().Count()),
                         kLinks);
            return 1;
        }
        std::printf("%.1f ", timer.nsecsElapsed() / 1e6);
        if (i == 0) {
            afterFirst = residentMegabytes(QCoreApplication::applicationPid());
            helpers = descendantsMegabytes(QCoreApplication::applicationPid());
        }
    }
    std::printf("%.1f %.1f\n", afterFirst, helpers);
    return 0;
}

// Child mode: an ordinary build, then the crafted page; prints the growth of resident memory in MB, the
// longest stall in ms and the rows the crafted page gave.
int craftedRun() {
    QTemporaryDir folder;
    App app(folder.path());
    TForm1& form = *app.Form1;
    messages::Recorder recorder;  // the message about the links left out
    app.Form2->LEdit9->setText(QStringLiteral("5"));
    form.btnVkClick();
    runUntil([&] { return app.Playback().Playlist().Count() == kLinks; });
    const double before = residentMegabytes(QCoreApplication::applicationPid());
    app.Form2->LEdit9->setText(QStringLiteral("6"));
    form.btnVkClick();
    const double stall = runUntil([&] { return !recorder.texts().isEmpty(); });
    if (recorder.texts().isEmpty()) {
        std::fprintf(stderr, "the crafted page gave no list\n");
        return 1;
    }
    std::printf("%.1f %.1f %d\n", residentMegabytes(QCoreApplication::applicationPid()) - before, stall,
                int(app.Playback().Playlist().Count()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    FindModulesInBuildFolder();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VARNEX_AUDIO_SINK")) qputenv("VARNEX_AUDIO_SINK", "fakesink sync=true");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    App::Prepare();
    if (argc > 2 && QByteArray(argv[1]) == "--clicks") return clickRun(atoi(argv[2]));
    if (argc > 1 && QByteArray(argv[1]) == "--crafted") return craftedRun();

    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    HttpFileServer server;
    serveSite(server);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--proxy-server=http://127.0.0.1:" + QByteArray::number(server.Port()));

    QStringList programs{QStringLiteral(VARNEX_EXECUTABLE)};
    if (argc > 2) programs << QString::fromLocal8Bit(argv[2]);
    for (const QString& executable : programs) {
        std::vector<double> rss;
        for (int i = 0; i < runs; ++i) {
            QTemporaryDir folder;
            QProcess process;
            process.start(programIn(folder, executable), {});
            if (!process.waitForStarted(5000)) return 1;
            QThread::msleep(3000);
            rss.push_back(residentMegabytes(process.processId()));
            process.terminate();
            process.waitForFinished(5000);
        }
        std::printf("%s: resident %.1f MB 3 s after start, playlist option off (median of %d)\n",
                    qPrintable(executable), median(rss), runs);
    }

    std::vector<double> first, later, afterFirst, helpers;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--clicks"), QStringLiteral("6")});
        if (!child.waitForFinished(180000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed (exit %d)\n", i + 1, child.exitCode());
            return 1;
        }
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        first.push_back(figures[0].toDouble());
        for (int k = 1; k + 2 < figures.size(); ++k) later.push_back(figures[k].toDouble());
        afterFirst.push_back(figures[figures.size() - 2].toDouble());
        helpers.push_back(figures.last().toDouble());
        std::printf("run %d: %s\n", i + 1, figures.join(' ').constData());
    }
    std::printf(
        "click to a list of %d links: first click of a run %.0f ms, later clicks %.0f ms (medians of %d "
        "runs)\n",
        kLinks, median(first), median(later), runs);
    std::printf(
        "after the first build: program %.1f MB, engine helper processes %.1f MB resident (medians)\n",
        median(afterFirst), median(helpers));

    std::vector<double> growth, stalls;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crafted")});
        if (!child.waitForFinished(180000) || child.exitCode() != 0) {
            std::fprintf(stderr, "crafted run %d failed (exit %d)\n", i + 1, child.exitCode());
            return 1;
        }
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        growth.push_back(figures[0].toDouble());
        stalls.push_back(figures[1].toDouble());
        std::printf("crafted run %d: +%s MB, longest stall %s ms, %s rows\n", i + 1, figures[0].constData(),
                    figures[1].constData(), figures[2].constData());
    }
    std::printf(
        "crafted page of %lld bytes: resident +%.1f MB (median), longest stall %.1f ms (worst of %d)\n",
        static_cast<long long>(kCraftedBytes), median(growth),
        *std::max_element(stalls.begin(), stalls.end()), runs);
    return 0;
}
