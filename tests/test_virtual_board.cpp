// The virtual board end to end: the tool's port appears in the settings window through VARNEX_SERIAL_PORTS,
// "Открыть" connects to it, the program's commands show up as the board's levels, and closing the board
// closes the program's port.

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "settings/settings_window.h"
#include "tests/support/board_tool.h"
#include "tests/support/extra_ports.h"
#include "tests/support/test_main.h"

class VirtualBoardTest : public QObject {
    Q_OBJECT

private slots:
    void programDrivesTheVirtualBoard() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("varnex-board"));
        BoardTool board({QStringLiteral("--link"), link});
        QVERIFY(board.WaitForLine(QStringLiteral("varnex-board: port ")).contains(link));

        ExtraPorts extra(link);
        messages::Recorder recorder;
        TestApp testApp;
        App& app = testApp.app;
        TForm2& settings = *app.Form2;
        QVERIFY(ChoosePort(settings, link));
        settings.Button1->click();
        QVERIFY(app.Light().PortOpen());
        QVERIFY(app.Form1->findChild<QPushButton*>(QStringLiteral("Button2"))
                    ->isEnabled());  // the light row is usable

        app.Light().Send(P1AllOffCommand);
        app.Light().Send(ZoneCommand(LeftUpperZone, 0x000000FF));
        app.Light().Send(ZoneCommand(RightLowerZone, 0x00FFFFFF));
        QCOMPARE(board.WaitForLine(QStringLiteral("levels 000080000888 ")),
                 QStringLiteral("levels 000080000888 items 20 faults 0"));

        // The board goes away: the program closes its port as "Закрыть" would, after one error.
        board.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!app.Light().PortOpen(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(settings.ComBox->isEnabled(), 3000);
        QVERIFY(!app.Form1->findChild<QPushButton*>(QStringLiteral("Button2"))->isEnabled());
        QCOMPARE(recorder.texts(), QStringList{"WriteFile function failed (win error code: 5)"});
        QVERIFY(!QFileInfo(link).isSymLink());  // the board removed its link
    }
};

VARNEX_TEST_MAIN(VirtualBoardTest)
#include "test_virtual_board.moc"
