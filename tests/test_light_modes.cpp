// The mode row, the zone editor and colour music, on an X server of 1920 x 1080.

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "app/main_window.h"
#include "common/color_edit.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "light/board_parser.h"
#include "light/colour_music.h"
#include "light/light_controller.h"
#include "light/zone_editor_window.h"
#include "player/player.h"
#include "settings/ambilight_modes.h"
#include "settings/profile_file.h"
#include "settings/settings_window.h"
#include "tests/support/extra_ports.h"
#include "tests/support/http_file_server.h"
#include "tests/support/light_controls.h"
#include "tests/support/main_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

class LightModesTest : public QObject {
    Q_OBJECT

private slots:
    void modesAndTheZoneEditor() {
        messages::Recorder recorder;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("settings.ini"));
        WriteFileBytes(path, "[Other]\nkeep=1\n[AmbiLight]\n1=-15,150\n");
        App app(folder.path());
        TForm1& f = *app.Form1;
        const LightControlsOf ui(f);
        TForm5& e = *app.Form5;
        f.show();
        const auto stored = [&] { return ReadModes(ProfileFile::Load(path)); };
        const auto givenBack = [&] { return f.isEnabled() && f.windowOpacity() == 1.0; };
        for (int index : {1, 0, 1}) {
            ui.choose(index);
            QCOMPARE(ui.Button8->isEnabled(), index != 0);
        }

        // "новый" starts at 0,150 whatever is selected, with the main window disabled at 125 of 255; the
        // window's mask leaves only the panels and the instruction box to be seen.
        QTest::mouseClick(ui.Button5, Qt::LeftButton);
        QVERIFY(!f.isEnabled() && qRound(f.windowOpacity() * 255) == 125);
        QCOMPARE(e.geometry(), QRect(0, 0, 1920, 1080));
        QCOMPARE(e.mask(), QRegion(0, 150, 100, 300) + QRect(1820, 150, 100, 300) + QRect(0, 630, 100, 300) +
                               QRect(1820, 630, 100, 300) + QRect(844, 492, 233, 97));
        QVERIFY(!e.Button1->isEnabled());

        // A drag of 20 right and 10 down, with the right mouse button.
        QTest::mousePress(e.btnMove, Qt::RightButton, {}, {10, 10});
        QTest::mouseMove(e.btnMove, {30, 20});
        QTest::mouseRelease(e.btnMove, Qt::RightButton, {}, {10, 10});
        QCOMPARE(e.mask(), QRegion(20, 160, 100, 300) + QRect(1800, 160, 100, 300) +
                               QRect(20, 620, 100, 300) + QRect(1800, 620, 100, 300) +
                               QRect(844, 492, 233, 97));
        QTest::mouseClick(e.Button1, Qt::LeftButton);
        QVERIFY(ui.ComboBox1->currentText() == "20,160" && ui.Button8->isEnabled() && givenBack() &&
                !e.isVisible());
        QCOMPARE(stored(), (QStringList{"-15,150", "20,160"}));

        // "Отмена", or the editor closed from outside, changes nothing and gives the main window back.
        for (QWidget* close : {static_cast<QWidget*>(e.Button2), static_cast<QWidget*>(&e)}) {
            ui.Button5->click();
            QTest::mousePress(e.btnMove, Qt::LeftButton, {}, {10, 10});
            QTest::mouseMove(e.btnMove, {40, 10});
            close == &e ? void(e.windowHandle()->close()) : QTest::mouseClick(close, Qt::LeftButton);
            QVERIFY(givenBack() && !e.isVisible() && ui.ComboBox1->count() == 3);
            QCOMPARE(stored(), (QStringList{"-15,150", "20,160"}));
        }

        // "удалить" renumbers and leaves no selection; pressed again it deletes nothing. With the last user
        // mode deleted no mode is stored, and the rest of the file stays.
        ui.choose(1);
        ui.Button8->click();
        ui.Button8->click();
        QVERIFY(ui.ComboBox1->currentIndex() == -1 && ui.Button8->isEnabled());
        QCOMPARE(stored(), QStringList{"20,160"});
        ui.choose(1);
        ui.Button8->click();
        const ProfileFile after = ProfileFile::Load(path);
        QVERIFY(after.Entries(QStringLiteral("AmbiLight")).isEmpty() && ui.ComboBox1->count() == 1);
        QCOMPARE(after.ReadString(QStringLiteral("Other"), QStringLiteral("keep")), "1");

        // "обзор" shows the selected mode while any mouse button is held, or says why it cannot.
        // With no comma ("77") the panels stay where they were.
        const int far = 1 << 24;
        using Row = std::tuple<QString, QPoint, QString>;
        for (const auto& [mode, leftUpper, error] :
             {Row{"-15,150", {-15, 150}, {}}, Row{"77", {-15, 150}, {}},
              Row{"2147483647,-2147483648", {far, -far}, {}},
              Row{"abc,5", {}, "'abc' is not a valid integer value"},
              Row{"5, 7", {}, "' 7' is not a valid integer value"},
              Row{"99999999999,0", {}, "'99999999999' is not a valid integer value"},
              Row{"0,-2147483649", {}, "'-2147483649' is not a valid integer value"},
              Row{"1,2,3", {}, "'2,3' is not a valid integer value"},
              Row{",", {}, "'' is not a valid integer value"}}) {
            app.Light().AddMode(mode);
            recorder.clear();
            QTest::mousePress(ui.Button7, Qt::MiddleButton);
            QCOMPARE(recorder.texts(), error.isEmpty() ? QStringList() : QStringList{error});
            QCOMPARE(e.isVisible(), error.isEmpty());
            if (e.isVisible()) {
                QCOMPARE(e.PnTopLeft->pos(), leftUpper);
                QCOMPARE(e.PnBottomRight->pos(),
                         QPoint(1820 - leftUpper.x(), qMin(780 - leftUpper.y(), far)));
                QVERIFY(e.Panel1->isHidden() && e.btnMove->isHidden() && givenBack());
            }
            QTest::mouseRelease(ui.Button7, Qt::MiddleButton);
            QVERIFY(!e.isVisible());
        }
        // It ends with the release also when "обзор" was disabled meanwhile, and at once when a modal window
        // opens, which keeps the release from the main window.
        ui.choose(0);
        for (const bool modal : {false, true}) {
            QTest::mousePress(ui.Button7, Qt::LeftButton);
            QVERIFY(e.isVisible());
            QDialog box(&f);
            modal ? box.open() : ui.Button7->setEnabled(false);
            if (!modal) QTest::mouseRelease(ui.Button7, Qt::LeftButton);
            QVERIFY(!e.isVisible());
            ui.Button7->setEnabled(true);
        }
    }

    void colourMusic() {
        // Every step's pattern, blue, red and green for each zone of a side: the right channel at the top of
        // each step, the left one at the bottom of the mirrored step. Above step 8 (and 0xFFFF on both
        // sides: nothing plays), none.
        const QByteArray colours[] = {"", "100", "200", "300", "400", "760", "760", "086", "085"};
        const auto pattern = [](const char* zones, const QByteArray& levels) {
            QByteArrayList items;
            for (int i = 0; !levels.isEmpty() && i < 6; ++i) items << QByteArray(1, zones[i]) + levels[i % 3];
            return items.join(' ');
        };
        for (quint32 step = 0; step <= 8; ++step)
            QCOMPARE(ColourMusicCommand((step * 4000 + 3999) << 16 | (8 - step) * 4000),
                     pattern("ABCDEF", colours[step]) + pattern("IHGLKJ", colours[8 - step]));
        QVERIFY(ColourMusicCommand(36000 << 16 | 36000).isEmpty() &&
                ColourMusicCommand(0xFFFFFFFF).isEmpty());

        // The port open on a pseudo-terminal through "Открыть"; a tone at step 3 on the left, 5 on the right.
        const QByteArray tone = "A7 B6 C0 D7 E6 F0I3 H0 G0 L3 K0 J0";
        messages::Recorder recorder;
        PseudoTerminal line;
        HttpFileServer server;
        ExtraPorts ports(line.slavePath());
        TestApp testApp;
        const MainControlsOf ui(*testApp.app.Form1);
        const LightController& light = testApp.app.Light();
        TForm2& settings = *testApp.app.Form2;
        QVERIFY(ChoosePort(settings, line.slavePath()));
        settings.Button1Click();
        server.Add("/tone.wav", tones::Wav(5.0, 44100, 2, 0.43, 0.67), "audio/wav");
        testApp.app.Playback().Playlist().Append({QString::fromStdString(server.Url("/tone.wav"))});
        // Running, ticking every 33 ms, the face, the AmbiLight switch and the light row enabled.
        const auto state = [&] {
            const QTimer* ticks = light.findChild<QTimer*>(QStringLiteral("TVisual1"));
            return std::make_tuple(
                light.ColourMusicOn(), ticks->isActive() && ticks->interval() == 33,
                ui.btnVisual1->bitmapName(), ui.SpeedButton1->isEnabled(),
                ui.RzColorEdit1->isEnabled() && ui.Button1->isEnabled() && ui.Button2->isEnabled());
        };
        const auto off = std::make_tuple(false, false, QString("VISUAL1"), true, true);

        emit ui.btnVisual1->clicked();
        QCOMPARE(state(), std::make_tuple(true, true, QString("VISUAL12"), false, false));
        QTest::qWait(200);
        QCOMPARE(line.read(0, 0), QByteArray());  // nothing plays: nothing is written
        emit ui.btnPlay->clicked();
        QByteArray heard;
        QTRY_VERIFY((heard += line.read(0, 0)).count(tone) >= 3);
        BoardParser parser;
        parser.Feed(heard);
        QVERIFY(parser.Faults() == 0 && parser.LevelDigits() == "760760003003");
        emit ui.btnVisual1->clicked();
        QCOMPARE(state(), off);
        QVERIFY(line.read().endsWith(AllOffCommand));

        // A click with the port closed says so and leaves colour music running; its next tick fails even in
        // silence: it stops first, the error shows once, and the light row stays locked with the port.
        emit ui.btnPause->clicked();
        emit ui.btnVisual1->clicked();
        settings.Button2Click();
        emit ui.btnVisual1->clicked();
        QTRY_COMPARE(state(), std::make_tuple(false, false, QString("VISUAL1"), false, false));
        // The board goes away: colour music stops and the port row closes the port, with one error.
        settings.Button1Click();
        emit ui.btnPlay->clicked();
        emit ui.btnVisual1->clicked();
        QTRY_VERIFY((heard += line.read(0, 0)).count(tone) >= 4);
        line.closeMaster();
        QTRY_COMPARE(state(), std::make_tuple(false, false, QString("VISUAL1"), false, false));
        QTest::qWait(100);
        QCOMPARE(recorder.texts(), (QStringList{"Программа не подключена к COM порту!",
                                                "WriteFile function failed (win error code: 9)",
                                                "WriteFile function failed (win error code: 5)"}));
    }
};

VARNEX_TEST_MAIN(LightModesTest)
#include "test_light_modes.moc"
