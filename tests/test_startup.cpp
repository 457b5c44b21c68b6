// Start-up: the six windows, what is shown, the main window's frame and its enabled states.

#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include "app/about_window.h"
#include "app/color_edit.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/skin_slider.h"
#include "channels/channel_window.h"
#include "light/serial_link.h"
#include "light/zone_editor_window.h"
#include "remote/shutdown_window.h"
#include "settings/settings_window.h"
#include "tests/support/test_main.h"

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void sixWindowsOnlyMainShown() {
        App app;
        app.Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.Form1.get()));
        const QList<QWidget*> windows = {app.Form1.get(), app.Form2.get(), app.Form3.get(),
                                         app.Form4.get(), app.Form5.get(), app.Form6.get()};
        const QStringList names = {"Form1", "Form2", "Form3", "Form4", "Form5", "Form6"};
        for (int i = 0; i < windows.size(); ++i) {
            QCOMPARE(windows[i]->objectName(), names[i]);
            QCOMPARE(windows[i]->isVisible(), i == 0);
        }
        QCOMPARE(app.Form1->windowTitle(), QStringLiteral("Varnex"));
        QCOMPARE(app.Form2->windowTitle(), QStringLiteral("Varnex | Настройки"));
        QCOMPARE(app.Form3->windowTitle(), QString());
        QCOMPARE(app.Form6->windowTitle(), QStringLiteral("Varnex | О программе"));
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Varnex"));
    }

    void mainWindowFrame() {
        App app;
        TForm1& form = *app.Form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.ClientHeight(), 220);
        QCOMPARE(form.centralWidget()->width(), 425);
        QCOMPARE(form.pos(), QPoint(399, 352));
        // Fixed size: no resizing and no maximise box.
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        // The panels fill the width one below the other; at 220 only the top of the player lies inside.
        QCOMPARE(form.Panel2->geometry(), QRect(0, 0, 425, 56));
        QCOMPARE(form.Panel1->geometry(), QRect(0, 56, 425, 56));
        QCOMPARE(form.PanelMusic->geometry(), QRect(0, 112, 425, 200));
        QCOMPARE(form.btnPlay->geometry(), form.btnPause->geometry());
        QCOMPARE(form.btnPlay->bitmapName(), QStringLiteral("PLAY1"));
        QVERIFY(!form.ProgressBar->styleSheet().isEmpty());
        QCOMPARE(form.ComboBox1->count(), 1);
        QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("0,150"));
    }

    void nonVisualPartsAtStart() {
        App app;
        TForm1& form = *app.Form1;
        QCOMPARE(form.Timer1->interval(), 10);
        QCOMPARE(form.TVisual1->interval(), 33);
        QCOMPARE(form.Timer2->interval(), 1000);
        QCOMPARE(form.TrackPos->interval(), 1000);
        QCOMPARE(form.TimerNextSong->interval(), 1000);
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.Timer2->isActive());
        QVERIFY(!form.TVisual1->isActive());
        QVERIFY(form.TrackPos->isActive());
        QVERIFY(!form.TimerNextSong->isActive());
        QCOMPARE(form.cs->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(form.csPort, 8765);
        QVERIFY(!form.ComPort->Connected());
        QCOMPARE(form.StreamHandle, HSTREAM(0));
        QVERIFY(!form.ColorMusicOn);
        QVERIFY(!form.ShowHint());
    }

    void enabledStatesAtStart() {
        App app;
        TForm1& form = *app.Form1;
        for (QWidget* w :
             QList<QWidget*>{form.SpeedButton1, form.RzColorEdit1, form.Button1, form.Button2, form.Button8})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        for (QWidget* w : QList<QWidget*>{form.btnPlay, form.btnPause, form.btnNext, form.btnPrev, form.btnVk,
                                          form.btnPlaylist, form.btnVisual1, form.ProgressBar, form.ComboBox1,
                                          form.Button5, form.Button7, form.Button4})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
};

VARNEX_TEST_MAIN(StartupTest)
#include "test_startup.moc"
