// Colour music end to end: a tone played through the audio library drives the light commands on a
// pseudo-terminal board; the pattern table at its edges; switching off, a closed port and a board that goes
// away.

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/color_edit.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/board_parser.h"
#include "light/colour_music.h"
#include "light/port_list.h"
#include "light/serial_link.h"
#include "settings/settings_window.h"
#include "tests/support/http_file_server.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

// Left at step 3, right at step 5.
const QByteArray kToneCommand = "A7 B6 C0 D7 E6 F0I3 H0 G0 L3 K0 J0";

// A main window with its port open on a pseudo-terminal (through "Открыть") and a tone playing.
struct Board {
    Board() {
        TForm2& settings = *testApp.app.Form2;
        settings.ComBox->setCurrentIndex(settings.ComBox->findText(line.slavePath()));
        settings.Button1Click();
        server.Add("/tone.wav", tones::Wav(5.0, 44100, 2, 0.43, 0.67), "audio/wav");
        form.PlayList->addItem(QString::fromStdString(server.Url("/tone.wav")));
    }
    ~Board() {
        BASS_StreamFree(form.StreamHandle);
        qunsetenv(ExtraPortsVariable);
    }
    // What reaches the board while the program runs, once the tone's command has come `times` times (or
    // after five seconds).
    QByteArray heardTone(int times) {
        QByteArray heard;
        QTest::qWaitFor([&] { return (heard += line.read(0, 0)).count(kToneCommand) >= times; }, 5000);
        return heard;
    }
    bool lightRowEnabled() const { return form.RzColorEdit1->isEnabled() && form.Button2->isEnabled(); }

    PseudoTerminal line;
    bool listed = qputenv(ExtraPortsVariable, line.slavePath().toLocal8Bit());
    HttpFileServer server;
    TestApp testApp;
    TForm1& form = *testApp.app.Form1;
};

}  // namespace

class ColourMusicTest : public QObject {
    Q_OBJECT

private slots:
    void patternsByLevelStep() {
        const struct {
            quint32 right, left;
            QByteArray command;
        } rows[] = {
            {8000, 4000, "A2 B0 C0 D2 E0 F0I1 H0 G0 L1 K0 J0"},
            {3999, 32768, "I0 H8 G5 L0 K8 J5"},
            {20000, 27999, "A7 B6 C0 D7 E6 F0I7 H6 G0 L7 K6 J0"},
            {28000, 31999, "A0 B8 C6 D0 E8 F6I0 H8 G6 L0 K8 J6"},
            {19999, 12000, "A4 B0 C0 D4 E0 F0I3 H0 G0 L3 K0 J0"},
            {7999, 36000, "A1 B0 C0 D1 E0 F0"},
            {35999, 0, "A0 B8 C5 D0 E8 F5"},
            {0, 0, ""},
            {0xFFFF, 0xFFFF, ""},  // nothing plays
        };
        for (const auto& row : rows) QCOMPARE(ColourMusicCommand(row.right << 16 | row.left), row.command);
    }

    void followsAToneAndStops() {
        messages::Recorder recorder;
        Board board;
        TForm1& f = board.form;
        f.btnVisual1Click();
        QVERIFY(f.ColorMusicOn && f.TVisual1->isActive());
        QCOMPARE(f.TVisual1->interval(), 33);
        QCOMPARE(f.btnVisual1->bitmapName(), QStringLiteral("VISUAL12"));
        QVERIFY(!f.SpeedButton1->isEnabled() && !board.lightRowEnabled());
        QCOMPARE(board.line.read(1, 200), QByteArray());  // nothing plays: nothing is written

        f.btnPlayClick();
        const QByteArray heard = board.heardTone(3);
        QVERIFY2(heard.count(kToneCommand) >= 3, heard.constData());
        BoardParser parser;
        parser.Feed(heard);
        QCOMPARE(parser.Faults(), 0);
        QCOMPARE(parser.LevelDigits(), QByteArray("760760003003"));

        f.btnVisual1Click();
        QVERIFY(!f.ColorMusicOn && !f.TVisual1->isActive());
        QCOMPARE(f.btnVisual1->bitmapName(), QStringLiteral("VISUAL1"));
        QVERIFY(f.SpeedButton1->isEnabled() && board.lightRowEnabled());
        QVERIFY(board.line.read().endsWith(AllOffCommand));
        QCOMPARE(board.line.read(1, 100), QByteArray());

        // A click with the port closed says so and leaves colour music running; its next write fails: it
        // stops first, the error shows once, and the controls are as after switching off, with nothing sent.
        f.btnVisual1Click();
        board.testApp.app.Form2->Button2Click();
        f.btnVisual1Click();
        QVERIFY(f.ColorMusicOn);
        QTRY_VERIFY(!f.ColorMusicOn);
        QTest::qWait(100);
        QCOMPARE(recorder.shown(),
                 (QList<messages::Shown>{
                     {messages::Kind::Message, "Программа не подключена к COM порту!"},
                     {messages::Kind::Error, "WriteFile function failed (win error code: 9)"}}));
        QVERIFY(!f.TVisual1->isActive() && f.SpeedButton1->isEnabled() && board.lightRowEnabled());
        QCOMPARE(f.btnVisual1->bitmapName(), QStringLiteral("VISUAL1"));
    }

    void boardGoingAwayStopsIt() {
        messages::Recorder recorder;
        Board board;
        TForm1& f = board.form;
        f.btnPlayClick();
        f.btnVisual1Click();
        QVERIFY(board.heardTone(1).contains(kToneCommand));
        board.line.closeMaster();
        QTRY_VERIFY(!f.ColorMusicOn);
        QTest::qWait(100);
        QCOMPARE(recorder.shown().size(), 1);
        QVERIFY(recorder.shown().first().text.startsWith("WriteFile function failed"));
        QVERIFY(!f.TVisual1->isActive());
        // Switched off, and then the port row closed: the board is gone.
        QCOMPARE(f.btnVisual1->bitmapName(), QStringLiteral("VISUAL1"));
        QVERIFY(!f.SpeedButton1->isEnabled() && !board.lightRowEnabled());
    }
};

VARNEX_TEST_MAIN(ColourMusicTest)
#include "test_colour_music.moc"
