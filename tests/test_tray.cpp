// Hiding to the tray and coming back, on a real X server with a notification area (trayer).

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSystemTrayIcon>

#include "app/main_window.h"
#include "tests/support/main_controls.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

// A StatusNotifierWatcher on a private session bus, run by the test as a child process of its own program:
// it says that a host is registered when VARNEX_FAKE_HOST is 1, and takes any item.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)

public:
    bool host = qEnvironmentVariableIntValue("VARNEX_FAKE_HOST") == 1;
    QStringList items;

signals:
    void StatusNotifierItemRegistered(const QString& item);

public slots:
    void RegisterStatusNotifierItem(const QString& item) {
        items.append(item);
        emit StatusNotifierItemRegistered(item);
    }
};

class TrayTest : public QObject {
    Q_OBJECT

    QProcess trayer_;

    // The notification area (trayer) starts once, when the first test needs it.
    void startTray() {
        if (trayer_.state() != QProcess::NotRunning) return;
        trayer_.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "left", "--widthtype", "pixel",
                                                 "--width", "40", "--height", "20"});
        QVERIFY2(trayer_.waitForStarted(5000), "trayer is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }

private slots:
    void trayStartingAfterTheProgramTakesTheIconAndMenuRestores() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        ShownMainWindow shown;
        TForm1& form = shown.form;
        const MainControlsOf ctl(form);
        QVERIFY(shown.exposed);
        startTray();
        QTRY_VERIFY_WITH_TIMEOUT(ctl.Tray->geometry().width() > 0, 10000);
        form.WMSysCommand(TForm1::SC_MINIMIZE);
        QVERIFY(!form.isVisible());
        QCOMPARE(ctl.N6->text(), QStringLiteral("Развернуть"));
        ctl.N6->trigger();
        QVERIFY(form.isVisible() && !form.isMinimized());
        QCOMPARE(ctl.N6->text(), QStringLiteral("Свернуть"));
        // Other system commands are left alone.
        form.WMSysCommand(0xF060);
        QVERIFY(form.isVisible());

        // The title bar's minimise box hides to the tray too; a double click brings the window back as it
        // was.
        QVERIFY(ctl.Tray->isVisible());
        const QRect before = form.geometry();
        form.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 5000);
        QCOMPARE(ctl.N6->text(), QStringLiteral("Развернуть"));
        form.TrayDblClick();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!(form.windowState() & Qt::WindowMinimized));
        QCOMPARE(form.geometry(), before);
        QCOMPARE(ctl.N6->text(), QStringLiteral("Свернуть"));
    }

    // Run by CTest on a private session bus with a watcher that reports a host (the icon goes to it, and any
    // click is a single activation that brings the window back) and with one that reports none (Qt falls back
    // to an XEmbed icon, which tells double clicks apart: a single click does nothing).
    void singleClickFollowsWhereTheIconWent() {
        // Only on the private bus of test_tray_watcher_*: elsewhere a session bus could be launched on demand
        // and outlive the test.
        if (!qEnvironmentVariableIsSet("VARNEX_FAKE_HOST"))
            QSKIP("needs the private session bus of test_tray_watcher_*");
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.isConnected());
        QProcess watcher;
        watcher.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--fake-watcher")});
        QTRY_VERIFY(bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")));
        ShownMainWindow shown;
        const MainControlsOf ctl(shown.form);
        shown.form.hide();
        // A single click brings the window back once the item has reached the host, or never.
        auto click = [&] {
            emit ctl.Tray->activated(QSystemTrayIcon::Trigger);
            return shown.form.isVisible();
        };
        if (qEnvironmentVariableIntValue("VARNEX_FAKE_HOST") == 1)
            QTRY_VERIFY(click());
        else
            QVERIFY(!click());
        emit ctl.Tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(shown.form.isVisible());
        watcher.kill();
        watcher.waitForFinished(3000);
    }

    void cleanupTestCase() {
        trayer_.terminate();
        if (!trayer_.waitForFinished(3000)) trayer_.kill(), trayer_.waitForFinished(3000);
    }

    void startupMinimiseOptionHidesAfterShowing() {
        startTray();
        QTemporaryDir dir;
        WriteSettings(dir.path(),
                      QStringLiteral("[Общие настройки]\r\nСворачивать программу при запуске=1\r\n"));
        App app(dir.path());
        TForm1& form = *app.Form1;
        const MainControlsOf ctl(form);
        form.show();
        QVERIFY(form.isVisible());  // shown for a moment
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 5000);
        QCOMPARE(ctl.N6->text(), QStringLiteral("Развернуть"));
    }
};

int main(int argc, char** argv) {
    if (argc == 2 && qstrcmp(argv[1], "--fake-watcher") == 0) {
        QCoreApplication application(argc, argv);
        FakeWatcher watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                           QDBusConnection::ExportAllContents);
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        return QCoreApplication::exec();
    }
    QApplication application(argc, argv);
    App::Prepare();
    TrayTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_tray.moc"
