// Start-up: the six windows, what is shown, the main window's frame and its enabled states.

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include "app/about_window.h"
#include "app/main_window.h"
#include "channels/channel_window.h"
#include "common/color_edit.h"
#include "common/image_button.h"
#include "common/skin_slider.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "light/zone_editor_window.h"
#include "player/player.h"
#include "remote/remote_client.h"
#include "remote/shutdown_window.h"
#include "settings/settings_window.h"
#include "tests/support/main_controls.h"
#include "tests/support/test_main.h"

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void sixWindowsOnlyMainShownInItsFrame() {
        ShownMainWindow shown;
        App& app = shown.app;
        TForm1& form = shown.form;
        const MainControlsOf ctl(form);
        QVERIFY(shown.exposed);
        // The windows nobody sees at start are made on first use.
        QVERIFY(!app.Form3.Made() && !app.Form4.Made() && !app.Form5.Made() && !app.Form6.Made());
        const QList<QWidget*> windows = {app.Form1.get(), app.Form2.get(), app.Form3.get(),
                                         app.Form4.get(), app.Form5.get(), app.Form6.get()};
        for (int i = 0; i < windows.size(); ++i) {
            QCOMPARE(windows[i]->objectName(), QStringLiteral("Form%1").arg(i + 1));
            QCOMPARE(windows[i]->isVisible(), i == 0);
        }
        QCOMPARE(app.Form1->windowTitle(), QStringLiteral("Varnex"));
        QCOMPARE(app.Form2->windowTitle(), QStringLiteral("Varnex | Настройки"));
        QCOMPARE(app.Form3->windowTitle(), QString());
        QCOMPARE(app.Form6->windowTitle(), QStringLiteral("Varnex | О программе"));
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Varnex"));

        QCOMPARE(form.centralWidget()->height(), 220);
        QCOMPARE(form.centralWidget()->width(), 425);
        QCOMPARE(form.pos(), QPoint(399, 352));
        // Fixed size: no resizing and no maximise box.
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        // Play lies above pause at the same place.
        QVERIFY(ctl.PanelMusic->children().indexOf(ctl.btnPlay) >
                ctl.PanelMusic->children().indexOf(ctl.btnPause));
        QCOMPARE(ctl.btnPlay->bitmapName(), QStringLiteral("PLAY1"));
        QVERIFY(!ctl.ProgressBar->styleSheet().isEmpty());
        QCOMPARE(ctl.ComboBox1->count(), 1);
        QCOMPARE(ctl.ComboBox1->currentText(), QStringLiteral("0,150"));
    }

    void everyControlAtItsPlace() {
        TestApp testApp;
        const TForm1& form = *testApp.app.Form1;
        const MainControlsOf ctl(form);
        struct Control {
            const char* name;
            const char* parent;
            QRect geometry;  // an empty size: the control is sized to its text
            QString text;
            int fontPixels;
        };
        const QList<Control> controls = {
            {"Panel2", "client", {0, 0, 425, 56}, {}, 11},
            {"Label1", "Panel2", {16, 17, 0, 0}, "Режим:", 15},
            {"ComboBox1", "Panel2", {80, 16, 73, 25}, "0,150", 12},
            {"Button7", "Panel2", {155, 16, 54, 25}, "обзор", 11},
            {"Button8", "Panel2", {211, 16, 62, 25}, "удалить", 11},
            {"Button5", "Panel2", {275, 16, 57, 25}, "новый", 11},
            {"SpeedButton1", "Panel2", {334, 16, 74, 25}, "включить", 11},
            {"Panel1", "client", {0, 56, 425, 56}, {}, 11},
            {"Label5", "Panel1", {16, 18, 0, 0}, "Подсветка:", 15},
            {"RzColorEdit1", "Panel1", {108, 18, 45, 23}, {}, 11},
            {"Button1", "Panel1", {155, 17, 50, 25}, "обзор", 11},
            {"Button2", "Panel1", {207, 17, 106, 25}, "выкл. подсветку", 11},
            {"Button4", "Panel1", {315, 17, 94, 25}, "выкл. монитор", 11},
            {"PanelMusic", "client", {0, 112, 425, 200}, {}, 11},
            {"btnVk", "PanelMusic", {10, 8, 24, 24}, {}, 11},
            {"Time2", "PanelMusic", {80, 10, 41, 17}, "00:00:00", 9},
            {"btnPrev", "PanelMusic", {144, 24, 32, 32}, {}, 11},
            {"btnPause", "PanelMusic", {188, 16, 48, 48}, {}, 11},
            {"btnPlay", "PanelMusic", {188, 16, 48, 48}, {}, 11},
            {"btnNext", "PanelMusic", {248, 24, 32, 32}, {}, 11},
            {"Time1", "PanelMusic", {304, 10, 41, 17}, "00:00:00", 9},
            {"btnPlaylist", "PanelMusic", {363, 8, 24, 24}, {}, 11},
            {"btnVisual1", "PanelMusic", {392, 8, 24, 24}, {}, 11},
            {"ProgressBar", "PanelMusic", {8, 66, 409, 40}, {}, 11},
            {"PlayList", "PanelMusic", {16, 109, 393, 76}, {}, 12},
        };
        for (const Control& c : controls) {
            const auto* widget = form.findChild<QWidget*>(QLatin1String(c.name));
            QVERIFY2(widget, c.name);
            QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(c.parent));
            if (c.geometry.size().isEmpty())
                QCOMPARE(widget->pos(), c.geometry.topLeft());
            else
                QCOMPARE(widget->geometry(), c.geometry);
            QCOMPARE(widget->font().pixelSize(), c.fontPixels);
            QCOMPARE(widget->font().family(), QStringLiteral("Century Gothic"));
            QString text;
            if (auto* label = qobject_cast<const QLabel*>(widget)) text = label->text();
            if (auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text();
            if (auto* combo = qobject_cast<const QComboBox*>(widget)) text = combo->currentText();
            QCOMPARE(text, c.text);
        }
        // The panels' colours, 0xRRGGBB.
        QCOMPARE(ctl.Panel2->palette().color(QPalette::Window).rgb() & 0xFFFFFF, 0xE0D6D6u);
        QCOMPARE(ctl.Panel1->palette().color(QPalette::Window).rgb() & 0xFFFFFF, 0xD5C8C8u);
        QCOMPARE(ctl.PanelMusic->palette().color(QPalette::Window).rgb() & 0xFFFFFF, 0x363636u);
        // Lists have 17-pixel rows.
        QCOMPARE(ctl.ComboBox1->view()->sizeHintForRow(0), 17);
        testApp.app.Playback().Playlist().Append({QStringLiteral("http://127.0.0.1/a.mp3")});
        QCOMPARE(ctl.PlayList->sizeHintForRow(0), 17);
        QVERIFY(ctl.SpeedButton1->isCheckable());
    }

    void nonVisualPartsAndEnabledStatesAtStart() {
        TestApp testApp;
        const MainControlsOf ctl(*testApp.app.Form1);
        const LightController& light = testApp.app.Light();
        const Player& player = testApp.app.Playback();
        using Timer = std::tuple<QTimer*, int, bool>;  // interval, running
        for (const auto& [timer, interval, running] :
             {Timer{light.findChild<QTimer*>(QStringLiteral("Timer1")), 10, false},
              Timer{light.findChild<QTimer*>(QStringLiteral("TVisual1")), 33, false},
              Timer{testApp.app.Remote().findChild<QTimer*>("Timer2"), 1000, false},
              Timer{player.findChild<QTimer*>("TrackPos"), 1000, true},
              Timer{player.findChild<QTimer*>("TimerNextSong"), 1000, false}}) {
            QCOMPARE(timer->interval(), interval);
            QCOMPARE(timer->isActive(), running);
        }
        QCOMPARE(testApp.app.Remote().State(), RemoteSocket::State::Unconnected);
        QCOMPARE(testApp.app.Remote().Port(), 8765);
        QVERIFY(!light.PortOpen());
        QCOMPARE(player.Stream(), HSTREAM(0));
        QVERIFY(!light.ColourMusicOn());

        for (QWidget* w :
             QList<QWidget*>{ctl.SpeedButton1, ctl.RzColorEdit1, ctl.Button1, ctl.Button2, ctl.Button8})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        for (QWidget* w : QList<QWidget*>{ctl.btnPlay, ctl.btnPause, ctl.btnNext, ctl.btnPrev, ctl.btnVk,
                                          ctl.btnPlaylist, ctl.btnVisual1, ctl.ProgressBar, ctl.ComboBox1,
                                          ctl.Button5, ctl.Button7, ctl.Button4})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
};

VARNEX_TEST_MAIN(StartupTest)
#include "test_startup.moc"
