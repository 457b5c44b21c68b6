// The settings window's port row: the port list, "Открыть" and "Закрыть" with their effect on the main
// window's light row, a device that goes away while open, and the not-connected guard.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

#include "app/main_window.h"
#include "common/color_edit.h"
#include "common/handlers.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/port_list.h"
#include "light/serial_link.h"
#include "remote/remote_client.h"
#include "settings/settings_window.h"
#include "tests/support/extra_ports.h"
#include "tests/support/light_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

namespace {

struct PortRowState {
    bool connected, portListEnabled, lightRowEnabled, ambiLightEnabled;
    bool operator==(const PortRowState&) const = default;
};

PortRowState stateOf(App& app) {
    const LightControlsOf main(*app.Form1);
    const TForm2& settings = *app.Form2;
    const bool lightRow =
        main.RzColorEdit1->isEnabled() && main.Button1->isEnabled() && main.Button2->isEnabled();
    const bool lightRowOff =
        !main.RzColorEdit1->isEnabled() && !main.Button1->isEnabled() && !main.Button2->isEnabled();
    Q_ASSERT(lightRow || lightRowOff);
    Q_ASSERT(settings.Label1->isEnabled() == settings.ComBox->isEnabled());
    return {app.Light().PortOpen(), settings.ComBox->isEnabled(), lightRow, main.SpeedButton1->isEnabled()};
}

const PortRowState Closed{false, true, false, false};
const PortRowState Open{true, false, true, true};

// A main window whose port row has opened `line` through "Открыть".
struct OpenedPort {
    explicit OpenedPort(const PseudoTerminal& line) : extra(line.slavePath()) {
        QVERIFY(ChoosePort(*app.Form2, line.slavePath()));
        app.Form2->Button1->click();
    }
    ExtraPorts extra;  // before the window, which reads the port list when it is shown
    TestApp testApp;
    App& app = testApp.app;
};

}  // namespace

class PortRowTest : public QObject {
    Q_OBJECT

private slots:
    void portRowIsLaidOutOnTheGeneralTab() {
        ExtraPorts extra(QStringLiteral("/tmp/board-b:/tmp/board-a"));
        TestApp testApp;
        App& app = testApp.app;
        TForm2& settings = *app.Form2;
        QCOMPARE(settings.Label1->parentWidget(), settings.TabSheet1);
        QCOMPARE(settings.Label1->text(), QStringLiteral("Выбор порта "));
        QCOMPARE(settings.Label1->pos(), QPoint(8, 18));
        QCOMPARE(settings.ComBox->geometry(), QRect(96, 16, 73, 25));
        QVERIFY(!settings.ComBox->isEditable());
        QCOMPARE(settings.Button1->text(), QStringLiteral("Открыть"));
        QCOMPARE(settings.Button1->geometry(), QRect(176, 16, 73, 25));
        QCOMPARE(settings.Button1->toolTip(), QStringLiteral("Подключиться к указаному порту"));
        QCOMPARE(settings.Button2->text(), QStringLiteral("Закрыть"));
        QCOMPARE(settings.Button2->geometry(), QRect(256, 16, 73, 25));
        QCOMPARE(settings.Button2->toolTip(), QStringLiteral("Отключиться от порта"));
        for (QWidget* w :
             QList<QWidget*>{settings.Label1, settings.ComBox, settings.Button1, settings.Button2})
            QCOMPARE(settings.findChild<QWidget*>(w->objectName()), w);

        // Nothing is read before the window shows. Then the computer's ports first, the extra paths as given
        // after them; the first entry is selected.
        QCOMPARE(settings.ComBox->count(), 0);
        settings.show();
        const QStringList listed = ItemTexts(settings.ComBox->model());
        QCOMPARE(listed, PortList(SystemPortNames(), QStringLiteral("/tmp/board-b:/tmp/board-a")));
        QCOMPARE(listed.mid(listed.size() - 2), (QStringList{"/tmp/board-b", "/tmp/board-a"}));
        QCOMPARE(settings.ComBox->currentIndex(), 0);
        QCOMPARE(stateOf(app), Closed);
    }

    // The start-up connection opens the stored port by its name, whether the list would name it or not; the
    // list, read when the window shows, keeps it shown while open. Each drop-down reads the list anew and
    // keeps the choice while the port is there; a stored port that is gone leaves the first port chosen.
    void storedPortAtStartAndListReadOnEachDropDown() {
        PseudoTerminal line;
        QTemporaryDir folder;
        const QString start = QStringLiteral(
            "[Общие настройки]\nВыбор порта =%1\n"
            "Подключаться к порту при запуске программы=1\n");
        WriteSettings(folder.path(), start.arg(line.slavePath()));
        messages::Recorder recorder;
        {
            App app(folder.path());
            QCOMPARE(stateOf(app), Open);
            app.Form2->show();
            QCOMPARE(ItemTexts(app.Form2->ComBox->model()), PortList(SystemPortNames(), {})
                                                                << line.slavePath());
            QCOMPARE(app.Form2->ComBox->currentText(), line.slavePath());
        }
        WriteSettings(folder.path(), start.arg(QStringLiteral("/nonexistent/ttyQ")));
        ExtraPorts extra(QStringLiteral("/tmp/board-a"));
        App app(folder.path());
        TForm2& settings = *app.Form2;
        QCOMPARE(recorder.texts(), QStringList{"Данный порт недоступен!"});
        QCOMPARE(stateOf(app), Closed);
        settings.show();
        QCOMPARE(settings.ComBox->currentIndex(), 0);

        ExtraPorts more(QStringLiteral("/tmp/board-b:/tmp/board-a"));
        QVERIFY(ChoosePort(settings, QStringLiteral("/tmp/board-a")));
        settings.ComBox->showPopup();
        QCOMPARE(ItemTexts(settings.ComBox->model()),
                 PortList(SystemPortNames(), "/tmp/board-b:/tmp/board-a"));
        QCOMPARE(settings.ComBox->currentText(), QStringLiteral("/tmp/board-a"));
        settings.ComBox->hidePopup();
        qputenv(ExtraPortsVariable, "/tmp/board-b");
        settings.ComBox->showPopup();
        QCOMPARE(settings.ComBox->currentIndex(), 0);
    }

    void openAndCloseThroughTheButtons() {
        PseudoTerminal line;
        ExtraPorts extra(line.slavePath());
        messages::Recorder recorder;
        TestApp testApp;
        App& app = testApp.app;
        TForm2& settings = *app.Form2;
        QVERIFY(ChoosePort(settings, line.slavePath()));

        settings.Button1->click();
        QCOMPARE(stateOf(app), Open);
        QCOMPARE(app.Light().PortName(), line.slavePath());
        QVERIFY(settings.Button1->isEnabled());
        QVERIFY(recorder.shown().isEmpty());

        // "Открыть" again: the program holds the port, so the probe fails; the link stays open.
        settings.Button1->click();
        QCOMPARE(recorder.texts(), QStringList{"Данный порт недоступен!"});
        QCOMPARE(stateOf(app), Open);
        app.Light().Send("E8F0D0");
        QCOMPARE(line.read(6), QByteArray("E8F0D0"));

        settings.Button2->click();
        QCOMPARE(stateOf(app), Closed);
        QVERIFY(SerialLink::PortAvailable(line.slavePath()));

        // "Закрыть" while closed changes nothing but the port list and the light row.
        const LightControlsOf main(*app.Form1);
        for (QWidget* w : QList<QWidget*>{main.RzColorEdit1, main.Button1, main.Button2}) w->setEnabled(true);
        settings.Label1->setEnabled(false);
        settings.ComBox->setEnabled(false);
        settings.Button2->click();
        QCOMPARE(stateOf(app), Closed);
        QCOMPARE(recorder.shown().size(), 1);
        QCOMPARE(line.read(1, 100), QByteArray());  // nothing is sent on connect or disconnect
    }

    void unavailablePortChangesNothing() {
        PseudoTerminal line;
        ExtraPorts extra(line.slavePath() + QStringLiteral(":/nonexistent/ttyX"));
        messages::Recorder recorder;
        TestApp testApp;
        App& app = testApp.app;
        TForm2& settings = *app.Form2;

        SerialLink other;  // someone else holds the port
        other.Port = line.slavePath();
        other.SetConnected(true);
        QVERIFY(ChoosePort(settings, line.slavePath()));
        settings.Button1->click();
        QCOMPARE(stateOf(app), Closed);

        QVERIFY(ChoosePort(settings, QStringLiteral("/nonexistent/ttyX")));
        settings.Button1->click();
        QCOMPARE(stateOf(app), Closed);

        settings.ComBox->clear();  // no ports at all
        QCOMPARE(settings.ComBox->currentText(), QString());
        settings.Button1->click();
        QCOMPARE(stateOf(app), Closed);
        QCOMPARE(recorder.texts(), QStringList(3, QStringLiteral("Данный порт недоступен!")));
    }

    // The device goes away while open, found while idle or by the static colour, which writes four commands
    // (the failure ends it after the first): the port closes as "Закрыть" would, with one error shown.
    void deviceGoneIsClosedAsCloseWouldCloseWithOneError() {
        for (const bool byWrite : {false, true}) {
            PseudoTerminal line;
            messages::Recorder recorder;
            OpenedPort opened(line);
            App& app = opened.app;
            QCOMPARE(stateOf(app), Open);
            QSignalSpy colourSent(&app.Light(), &LightController::ColourChanged);
            line.closeMaster();
            if (byWrite) LightControlsOf(*app.Form1).RzColorEdit1->ChooseFromGrid(0x0000FF);
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(app), Closed, 2000);
            QTest::qWait(100);
            QCOMPARE(colourSent.size(), 0);
            QCOMPARE(recorder.shown().size(), 1);
            QCOMPARE(recorder.shown().first().kind, messages::Kind::Error);
            QVERIFY(recorder.shown().first().text.startsWith("WriteFile function failed (win error code: "));
            if (!byWrite) QVERIFY(recorder.shown().first().text.endsWith(" 5)"));
        }
    }

    // Every light action of the main window, with the port closed, says so as a message and sends nothing.
    void guardLetsLightActionsThroughOnlyWhileOpen() {
        PseudoTerminal line;
        messages::Recorder recorder;
        TestApp testApp;
        const LightControlsOf main(*testApp.app.Form1);
        RemoteClient& remote = testApp.app.Remote();
        // The remote's keys act whatever the controls show, and so do clicks already on their way when the
        // port closed.
        main.Button2->setEnabled(true);
        main.RzColorEdit1->setEnabled(true);
        main.Button2->click();
        emit remote.Action(RemoteAction::AmbiLight);
        emit remote.Action(RemoteAction::ColourMusic);
        main.RzColorEdit1->ChooseFromGrid(0x0000FF);
        QCOMPARE(recorder.shown(), QList<messages::Shown>(
                                       4, {messages::Kind::Message, "Программа не подключена к COM порту!"}));
        testApp.app.Light().OpenPort(line.slavePath());
        main.Button2->click();
        QCOMPARE(line.read(38), QByteArray(AllOffCommand));
        QCOMPARE(recorder.shown().size(), 4);
    }
};

VARNEX_TEST_MAIN(PortRowTest)
#include "test_port_row.moc"
