// Dropping big things onto the playlist: a 50 MB .m3u of about 1.4 million addresses, 50 MB of binary data
// named .m3u, and a folder of 5000 audio files. For each: the time to read it (off the user-interface
// thread), the time until its last row is in the real main window's list, and the longest the user-interface
// thread went without turning its event loop meanwhile (a 1 ms timer's largest gap). Plain timers, one run
// each.

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "app/application.h"
#include "app/main_window.h"
#include "common/messages.h"
#include "player/player.h"
#include "player/playlist_import.h"

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void measure(App& app, const char* what, const QString& path) {
    QElapsedTimer timer;
    timer.start();
    const auto batch = playlist_import::Collect({path});
    const double readMs = timer.nsecsElapsed() / 1e6;

    // Freeing the last run's million rows leaves the allocator work that lands on a later allocation; it is
    // taken here so that it does not count against this drop.
    app.Playback().Playlist().Clear();
    QCoreApplication::processEvents();
    QByteArray(8 << 20, 'x').clear();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = timer.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QWidget* list = app.Form1->findChild<QListView*>(QStringLiteral("PlayList"))->viewport();
    messages::Recorder recorder;
    timer.restart();
    last = 0;
    tick.start();
    // Dropped onto the main window's playlist as a file manager drops it: entering, then the drop.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &drop);
    const qint64 dropReturned = timer.nsecsElapsed();
    // Done when every row is in, or when a drop that adds nothing has said so.
    while (app.Playback().Playlist().Count() < batch.rows.size() ||
           (batch.rows.isEmpty() && recorder.texts().isEmpty()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();  // the layout of the last rows
    const double doneMs = timer.nsecsElapsed() / 1e6;
    tick.stop();
    std::printf(
        "%-34s rows %8lld  read %8.1f ms  drop returns %6.2f ms  all in %8.1f ms  longest stall %6.1f ms\n",
        what, static_cast<long long>(batch.rows.size()), readMs, dropReturned / 1e6, doneMs,
        std::max(longest, dropReturned) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    App::Prepare();
    QTemporaryDir dir;
    QByteArray addresses;
    for (int i = 0; addresses.size() < (50 << 20); ++i)
        addresses += "http://radio.example.com/stream/" + QByteArray::number(i) + ".mp3\r\n";
    write(dir.filePath("addresses.m3u"), addresses);
    QByteArray junk(50 << 20, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(junk.data()), junk.size() / 4);
    write(dir.filePath("junk.m3u"), junk);
    QDir().mkpath(dir.filePath("folder"));
    for (int i = 0; i < 5000; ++i) write(dir.filePath("folder/track %1.mp3").arg(i), "x");

    App app(dir.path());
    app.Form1->show();
    {  // the machine's own noise: the same timer's longest gap over one second with nothing dropped
        QElapsedTimer timer;
        timer.start();
        qint64 last = 0, longest = 0;
        while (timer.elapsed() < 1000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QTimer::singleShot(1, [] {});
            longest = std::max(longest, timer.nsecsElapsed() - last);
            last = timer.nsecsElapsed();
        }
        std::printf("%-34s longest stall %6.1f ms\n", "nothing dropped (1 s)", longest / 1e6);
    }
    measure(app, "50 MB .m3u of addresses", dir.filePath("addresses.m3u"));
    measure(app, "50 MB of binary data as .m3u", dir.filePath("junk.m3u"));
    measure(app, "folder of 5000 audio files", dir.filePath("folder"));
    return 0;
}
