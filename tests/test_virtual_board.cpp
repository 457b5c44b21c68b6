// The virtual board end to end: the tool's port appears in the settings window through VARNEX_SERIAL_PORTS,
// "Открыть" connects to it, the program's commands show up as the board's levels, and closing the board
// closes the program's port.

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "settings/settings_window.h"
#include "tests/support/extra_ports.h"
#include "tests/support/test_main.h"

namespace {

// The board tool run with --print; stopped when this goes away.
class Board {
public:
    explicit Board(const QString& link) {
        process_.setProgram(QStringLiteral(VARNEX_BOARD_EXECUTABLE));
        process_.setArguments({QStringLiteral("--link"), link, QStringLiteral("--print")});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
    }
    ~Board() { Stop(); }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(3000);
    }

    // Waits up to `ms` for an output line starting with `prefix` and answers it (empty when none came).
    QString WaitForLine(const QString& prefix, int ms = 5000) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(prefix)) return line;
            }
            process_.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100)));
        }
        return QString();
    }

private:
    QProcess process_;
};

}  // namespace

class VirtualBoardTest : public QObject {
    Q_OBJECT

private slots:
    void programDrivesTheVirtualBoard() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("varnex-board"));
        Board board(link);
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
