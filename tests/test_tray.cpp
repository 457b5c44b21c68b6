// Hiding to the tray and coming back, on a real X server with a notification area (trayer).

#include <QAction>
#include <QProcess>
#include <QSystemTrayIcon>

#include <QFile>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "settings/cp1251.h"
#include "tests/support/test_main.h"

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
    void trayStartingAfterTheProgramStillTakesTheIcon() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        ShownMainWindow shown;
        TForm1& form = shown.form;
        QVERIFY(shown.exposed);
        startTray();
        QTRY_VERIFY_WITH_TIMEOUT(form.Tray->geometry().width() > 0, 10000);
        form.WMSysCommand(TForm1::SC_MINIMIZE);
        QVERIFY(!form.isVisible());
        form.N6->trigger();
        QVERIFY(form.isVisible());
        QVERIFY(!form.isMinimized());
    }

    void cleanupTestCase() {
        trayer_.terminate();
        if (!trayer_.waitForFinished(3000)) trayer_.kill();
        trayer_.waitForFinished(3000);
    }

    void minimiseBoxHidesToTrayAndDoubleClickBringsBack() {
        startTray();
        ShownMainWindow shown;
        TForm1& form = shown.form;
        QVERIFY(shown.exposed);
        QVERIFY(form.Tray->isVisible());
        const QRect before = form.geometry();

        form.setWindowState(Qt::WindowMinimized);  // what the title bar's box does
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 5000);
        QCOMPARE(form.N6->text(), QStringLiteral("Развернуть"));

        form.TrayDblClick();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!(form.windowState() & Qt::WindowMinimized));
        QCOMPARE(form.geometry(), before);
        QCOMPARE(form.N6->text(), QStringLiteral("Свернуть"));
    }

    void minimiseRequestHidesAndMenuRestores() {
        startTray();
        ShownMainWindow shown;
        TForm1& form = shown.form;
        QVERIFY(shown.exposed);
        form.WMSysCommand(TForm1::SC_MINIMIZE);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.N6->text(), QStringLiteral("Развернуть"));
        form.N6->trigger();
        QVERIFY(form.isVisible());
        QCOMPARE(form.N6->text(), QStringLiteral("Свернуть"));
        // Other system commands are left alone.
        form.WMSysCommand(0xF060);
        QVERIFY(form.isVisible());
    }

    void startupMinimiseOptionHidesAfterShowing() {
        startTray();
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("settings.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(cp1251::Encode(u"[Общие настройки]\r\nСворачивать программу при запуске=1\r\n"));
        file.close();
        App app(dir.path());
        TForm1& form = *app.Form1;
        form.show();
        QVERIFY(form.isVisible());  // shown for a moment
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 5000);
        QCOMPARE(form.N6->text(), QStringLiteral("Развернуть"));
    }
};

VARNEX_TEST_MAIN(TrayTest)
#include "test_tray.moc"
