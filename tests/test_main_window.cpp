// The main window's enabling rule and the playlist animation.

#include <QFrame>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "common/color_edit.h"
#include "common/image_button.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "tests/support/main_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

namespace {

// Records every client height the window passes through.
class HeightLog : public QObject {
public:
    explicit HeightLog(TForm1& form) : form_(form) { form.centralWidget()->installEventFilter(this); }
    QList<int> heights;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) heights.append(form_.centralWidget()->height());
        return false;
    }

private:
    TForm1& form_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void enabledBtnFollowsFlagAndPort() {
        TestApp testApp;
        const MainControlsOf form(*testApp.app.Form1);
        // The AmbiLight switch, then the light row.
        const auto state = [&] {
            return QList<bool>{form.SpeedButton1->isEnabled(), form.RzColorEdit1->isEnabled(),
                               form.Button1->isEnabled(), form.Button2->isEnabled()};
        };
        // Port closed: all locked. Open: all usable; colour music locks the switch and the light row.
        LightController& light = testApp.app.Light();
        QCOMPARE(state(), (QList<bool>{false, false, false, false}));
        PseudoTerminal line;
        light.OpenPort(line.slavePath());
        QVERIFY(light.PortOpen());
        QCOMPARE(state(), (QList<bool>{true, true, true, true}));
        light.SwitchColourMusic();
        QCOMPARE(state(), (QList<bool>{false, false, false, false}));
        light.SwitchColourMusic();
        QCOMPARE(state(), (QList<bool>{true, true, true, true}));

        // Nothing else is touched.
        QVERIFY(!form.Button8->isEnabled());
        QVERIFY(form.Button4->isEnabled());
        light.ClosePort();
        QCOMPARE(state(), (QList<bool>{false, false, false, false}));
    }

    void playlistShowsAndHidesOnePixelAStep() {
        ShownMainWindow shown;
        TForm1& form = shown.form;
        const MainControlsOf ctl(form);
        HeightLog log(form);
        auto clickDuringTheNextStep = [&] {
            log.heights.clear();
            QTimer::singleShot(0, &form, [&] { emit ctl.btnPlaylist->clicked(); });
        };
        emit ctl.btnPlaylist->clicked();
        QCOMPARE(form.centralWidget()->height(), 310);
        QCOMPARE(log.heights.size(), 90);
        QVERIFY(ctl.PlayList->geometry().bottom() + ctl.PanelMusic->y() < 310);
        emit ctl.btnPlaylist->clicked();
        QCOMPARE(form.centralWidget()->height(), 220);
        QCOMPARE(log.heights.size(), 180);

        // A second click while growing: it shrinks back to 220, then grows on.
        clickDuringTheNextStep();
        emit ctl.btnPlaylist->clicked();
        QCOMPARE(form.centralWidget()->height(), 310);
        QCOMPARE(log.heights.first(), 221);
        QCOMPARE(log.heights.indexOf(220), 1);
        QCOMPARE(log.heights.last(), 310);

        // A second click while shrinking: it grows back to 309 at most, then shrinks on.
        clickDuringTheNextStep();
        emit ctl.btnPlaylist->clicked();
        QCOMPARE(form.centralWidget()->height(), 220);
        QVERIFY(*std::min_element(log.heights.begin(), log.heights.end()) == 220);
        QVERIFY(*std::max_element(log.heights.begin(), log.heights.end()) == 309);

        // Timers still tick between the steps.
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(0);
        emit ctl.btnPlaylist->clicked();
        QVERIFY(ticks > 0);
    }
};

VARNEX_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
