// The real executable on a real X server: what a user sees at start, and a quiet failure when the audio
// output cannot be made.

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/x11_watch.h"

namespace {

// The executable copied into a fresh folder: it must run from wherever it is copied to.
QString copyOfExecutable(const QTemporaryDir& dir) {
    const QString target = dir.filePath(QStringLiteral("varnex"));
    return QFile::copy(QStringLiteral(VARNEX_EXECUTABLE), target) ? target : QString();
}

// A session without a D-Bus session bus (a bare X session). What is started from the program carries
// kMark in its environment.
const QString kMarkValue = QString::number(QCoreApplication::applicationPid());
const QByteArray kMark = "VARNEX_TEST_MARK=" + kMarkValue.toLatin1();

QProcessEnvironment environmentWithSink(const QString& sink) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        env.remove(name);
    env.insert(QStringLiteral("VARNEX_AUDIO_SINK"), sink);
    env.insert(QStringLiteral("VARNEX_TEST_MARK"), kMarkValue);
    return env;
}

// Session buses launched on demand for the program (dbus-launch and the daemon it starts outlive it), each
// stopped once found.
int stopLaunchedBuses() {
    int found = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile comm("/proc/" + pid + "/comm"), environ("/proc/" + pid + "/environ");
        const bool bus = comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("dbus-");
        if (bus && environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(kMark))
            found += ::kill(pid.toInt(), SIGTERM) == 0;
    }
    return found;
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(5000);
}

}  // namespace

class ProgramStartTest : public QObject {
    Q_OBJECT

private slots:
    void mainWindowShowsAtItsPlace() {
        QTemporaryDir dir;
        const QString exe = copyOfExecutable(dir);
        QVERIFY(!exe.isEmpty());
        X11Watch watch;
        QProcess process;
        process.setProcessEnvironment(environmentWithSink(QStringLiteral("fakesink sync=true")));
        process.setWorkingDirectory(QDir::rootPath());
        process.start(exe, {});
        const std::optional<MappedWindow> window =
            watch.waitForWindow(QStringLiteral("Varnex"), 15000, process.processId());
        QVERIFY2(window, "no window titled Varnex was shown");
        QCOMPARE(window->geometry.topLeft(), QPoint(399, 352));
        QCOMPARE(window->geometry.width(), 425);

        // Below the menu bar the client area is 220 high: the mode row's colour starts it, the player's ends
        // it.
        QTest::qWait(500);
        int clientTop = 0;
        while (clientTop < window->geometry.height() && PixelAt(window->id, 2, clientTop) != 0xE0D6D6)
            ++clientTop;
        QVERIFY2(clientTop > 0 && clientTop < window->geometry.height(),
                 "the mode row is not below a menu bar");
        QCOMPARE(window->geometry.height() - clientTop, 220);
        QCOMPARE(PixelAt(window->id, 2, clientTop + 56), QRgb(0xD5C8C8));
        QCOMPARE(PixelAt(window->id, 2, window->geometry.height() - 1), QRgb(0x363636));
        QCOMPARE(process.state(), QProcess::Running);
        // The parts with large libraries of their own are modules loaded on first use: a start loads none.
        QFile maps(QStringLiteral("/proc/%1/maps").arg(process.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        for (const char* library :
             {"libpipewire", "libQt6WebEngineCore", "libQt6Network", "varnex_portal", "varnex_web"})
            QVERIFY2(!mapped.contains(library), library);
        stop(process);

        // With no session bus, the program starts none of its own and says once that it runs without.
        QCOMPARE(stopLaunchedBuses(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()).count(QStringLiteral("D-Bus")), 1);
    }

    void audioFailureShowsNothingAndExitsWithOne() {
        X11Watch watch;
        QProcess process;
        process.setProcessEnvironment(environmentWithSink(QStringLiteral("no_such_audio_sink_element")));
        process.start(QStringLiteral(VARNEX_EXECUTABLE), {});
        const qint64 pid = process.processId();
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QStringList lines = QString::fromUtf8(process.readAllStandardError())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                      .filter(QStringLiteral("varnex:"));
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains(QStringLiteral("audio library")));
        QCOMPARE(watch.mappedCount(pid), 0);
    }
};

QTEST_GUILESS_MAIN(ProgramStartTest)
#include "test_program_start.moc"
