// The settings window: loading settings.ini at start, the start-up options, saving, and the options that act
// at once. Controls are found by their names, as a user finds them by their captions.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <optional>

#include "app/about_window.h"
#include "app/main_window.h"
#include "common/hints.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/serial_link.h"
#include "light/zone_editor_window.h"
#include "remote/remote_client.h"
#include "settings/profile_file.h"
#include "settings/settings.h"
#include "settings/settings_window.h"
#include "tests/support/extra_ports.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

namespace {

// The child of `window` named `name`; a missing one ends the test run, naming it.
template <typename Child>
Child* Find(QObject* window, const QString& name) {
    auto* child = window->findChild<Child*>(name);
    if (!child) qFatal("no %s in %s", qPrintable(name), qPrintable(window->objectName()));
    return child;
}

QCheckBox* Box(App& app, int n) {
    return Find<QCheckBox>(app.Form2.get(), QStringLiteral("CheckBox%1").arg(n));
}
QLineEdit* Edit(App& app, int n) {
    return Find<QLineEdit>(app.Form2.get(), QStringLiteral("LEdit%1").arg(n));
}
QPushButton* Button(QWidget* window, const char* name) {
    return Find<QPushButton>(window, QLatin1String(name));
}
QComboBox* PortList(App& app) {
    return Find<QComboBox>(app.Form2.get(), QStringLiteral("ComBox"));
}
QComboBox* Modes(App& app) {
    return Find<QComboBox>(app.Form1.get(), QStringLiteral("ComboBox1"));
}
bool PortConnected(App& app) {
    return app.Light().PortOpen();
}
bool WinLircTimerRuns(App& app) {
    return app.Remote().Reconnecting();
}
// The click sound of the remote's keys, a program-wide switch.
bool KeySound(App& app) {
    return app.Form1->KeySoundOn();
}

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    std::optional<QTemporaryDir> dir;  // the program's folder, new for each test

private slots:
    void init() {
        // Autostart entries go to a folder of the test's own.
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        dir.emplace();
    }

    void firstStartWithoutFile() {
        messages::Recorder recorder;
        App app(dir->path());
        TForm2& settings = *app.Form2;
        for (int n = 1; n <= 8; ++n) QVERIFY(!Box(app, n)->isChecked());
        QVERIFY(Box(app, 9)->isChecked());
        QVERIFY(app.Form1->ShowHint());
        QCOMPARE(ItemTexts(Modes(app)->model()), QStringList{"0,150"});
        QCOMPARE(PortList(app)->currentIndex(), PortList(app)->count() > 0 ? 0 : -1);
        QCOMPARE(Find<QTabWidget>(&settings, QStringLiteral("PageControl1"))->currentIndex(), 0);
        QVERIFY(Find<HintSwitch>(&settings, {})->Enabled() && !settings.isVisible());
        // Nothing of the start runs, nothing is said and nothing is written.
        QVERIFY(!PortConnected(app) && !WinLircTimerRuns(app) && !KeySound(app));
        QVERIFY(recorder.shown().isEmpty() && !QFile::exists(app.SettingsPath()));
    }

    // The window edits a copy: what is typed or ticked goes to the program's settings, and to the file, on
    // "Сохранить изменения"; the next start reads it all back and applies the start-up options.
    void saveAndRestartKeepsEverySetting() {
        PseudoTerminal line;
        const ExtraPorts ports(line.slavePath());
        messages::Recorder recorder;
        QStringList texts;
        const QList<bool> ticked = {false, false, false, false, false, true, true, true, false};
        {
            App app(dir->path());
            QSignalSpy changed(&app.AppSettings(), &Settings::GeneralChanged);
            QVERIFY(ChoosePort(*app.Form2, line.slavePath()));
            for (int n = 1; n <= 9; ++n) Box(app, n)->setChecked(ticked[n - 1]);
            for (int n = 0; n <= 9; ++n) {
                texts << QStringLiteral("Кнопка=%1 \"x\"").arg(n);
                Edit(app, n)->setText(texts.last());
            }
            QVERIFY(changed.isEmpty() && app.AppSettings().General().edits[9].isEmpty());
            Button(app.Form2.get(), "Button3")->click();
            QVERIFY(!app.Form2->isVisible());
            QCOMPARE(changed.count(), 1);
            QCOMPARE(app.AppSettings().General().edits[9], texts[9]);
        }
        // The first save writes the keys in the window's order.
        const QStringList lines = ReadSettings(dir->path()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 21);
        QCOMPARE(lines[0], QStringLiteral("[Общие настройки]"));
        QCOMPARE(lines[1], QStringLiteral("Выбор порта =") + line.slavePath());
        QCOMPARE(lines[4], QStringLiteral("Запускать программу при загрузке Windows=0"));
        QCOMPARE(lines[20], QStringLiteral("ID контакта=") + texts[9]);

        App app(dir->path());
        QCOMPARE(PortList(app)->currentText(), line.slavePath());
        for (int n = 1; n <= 9; ++n) QCOMPARE(Box(app, n)->isChecked(), ticked[n - 1]);
        for (int n = 0; n <= 9; ++n) QCOMPARE(Edit(app, n)->text(), texts[n]);
        // What the start applies: WinLIRC's connection timer, the click sound; hints stay off.
        QVERIFY(WinLircTimerRuns(app) && KeySound(app) && !app.Form1->ShowHint());
        QVERIFY(recorder.shown().isEmpty());
    }

    void portUnavailableAtStartShowsBothMessagesInOrder() {
        PseudoTerminal line;
        SerialLink holder;  // another user holds the port
        holder.Port = line.slavePath();
        holder.SetConnected(true);
        const ExtraPorts ports(line.slavePath());
        WriteSettings(dir->path(), QStringLiteral("[Общие настройки]\r\nВыбор порта =%1\r\n"
                                                  "Подключаться к порту при запуске программы=1\r\n"
                                                  "\"Выключать свет\" при запуске программы=1\r\n")
                                       .arg(line.slavePath()));
        messages::Recorder recorder;
        App app(dir->path());
        QCOMPARE(recorder.texts(),
                 (QStringList{"Данный порт недоступен!", "Программа не подключена к COM порту!"}));
        QVERIFY(!app.Form1->isVisible());
        QVERIFY(!PortConnected(app));
    }

    void startupConnectsAndSwitchesLightOff() {
        PseudoTerminal line;
        const ExtraPorts ports(line.slavePath());
        WriteSettings(dir->path(), QStringLiteral("[Общие настройки]\nВыбор порта =%1\n"
                                                  "Подключаться к порту при запуске программы=0x1\n"
                                                  "\"Выключать свет\" при запуске программы=$1\n")
                                       .arg(line.slavePath()));
        messages::Recorder recorder;
        App app(dir->path());
        QVERIFY(recorder.shown().isEmpty());
        QVERIFY(PortConnected(app));
        QVERIFY(!PortList(app)->isEnabled());
        QCOMPARE(line.read(41), QByteArray("P1 S0 A0 B0 C0 D0 E0 F0 G0 H0 I0 J0 K0 L0"));
    }

    void failingStepIsShownAndLaterStepsRun() {
        // The autostart folder lies under a regular file: the entry cannot be written.
        WriteFileBytes(dir->filePath(QStringLiteral("config")), {});
        qputenv("XDG_CONFIG_HOME", dir->filePath(QStringLiteral("config")).toUtf8());
        WriteSettings(dir->path(), QStringLiteral("[Общие настройки]\n"
                                                  "Запускать программу при загрузке Windows=1\n"
                                                  "Подключаться к WinLirc автоматически=1\n"
                                                  "ID контакта=42\n"));
        messages::Recorder recorder;
        App app(dir->path());
        QCOMPARE(recorder.shown(),
                 (QList<messages::Shown>{{messages::Kind::Error, "Failed to set data for 'VX_beacon'"}}));
        QCOMPARE(Edit(app, 9)->text(), QStringLiteral("42"));
        QVERIFY(WinLircTimerRuns(app) && app.Form1->ShowHint());
        QVERIFY(Find<HintSwitch>(app.Form2.get(), {})->Enabled() && !Edit(app, 9)->toolTip().isEmpty());
    }

    // Autostart, the key sound and the main window's hints act at the click. "Отмена" only hides the window:
    // what was typed stays in the boxes, is not handed to the program's settings, and a later save writes it.
    void boxesActAtTheClickAndCancelKeepsTheEdits() {
        App app(dir->path());
        const QString entry = config_.filePath(QStringLiteral("autostart/VX_beacon.desktop"));
        Box(app, 3)->click();
        QVERIFY(ReadFileBytes(entry).contains(QCoreApplication::applicationFilePath().toUtf8()));
        Box(app, 3)->click();
        Box(app, 8)->click();
        Box(app, 9)->click();
        QVERIFY(KeySound(app) && !app.Form1->ShowHint());
        app.Form2->show();
        Edit(app, 1)->setText(QStringLiteral("KEY_PLAY"));
        Button(app.Form2.get(), "Button4")->click();  // "Отмена" keeps the deletion
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!QFile::exists(app.SettingsPath()));
        QVERIFY(!app.Form2->isVisible());
        QCOMPARE(app.AppSettings().General().edits[1], QString());
        app.Form2->show();
        QCOMPARE(Edit(app, 1)->text(), QStringLiteral("KEY_PLAY"));
        Button(app.Form2.get(), "Button3")->click();
        QCOMPARE(app.AppSettings().General().edits[1], QStringLiteral("KEY_PLAY"));
    }

    // A save that fails says so in Russian and keeps the window open with what was typed (the program goes
    // on with it); once the cause is gone, the next save writes it and closes the window.
    void failedSaveKeepsWindowOpen() {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("settings.ini")));
        messages::Recorder recorder;
        App app(dir->path());
        app.Form2->show();
        Edit(app, 9)->setText(QStringLiteral("42"));
        Button(app.Form2.get(), "Button3")->click();
        QVERIFY(app.Form2->isVisible());
        QCOMPARE(Edit(app, 9)->text(), QStringLiteral("42"));
        QCOMPARE(app.AppSettings().General().edits[9], QStringLiteral("42"));
        const messages::Shown failed{
            messages::Kind::Error,
            "Не удалось записать настройки в файл " + app.SettingsPath() +
                ": диск заполнен или файл недоступен для записи. Настройки не сохранены."};
        QCOMPARE(recorder.shown(), QList<messages::Shown>{failed});
        QVERIFY(QDir(dir->path()).rmdir(QStringLiteral("settings.ini")));
        Button(app.Form2.get(), "Button3")->click();
        QVERIFY(!app.Form2->isVisible());
        QCOMPARE(ProfileFile::Load(app.SettingsPath()).ReadString(u"Общие настройки", u"ID контакта"), "42");
        QCOMPARE(recorder.shown().size(), 1);
        // Centred on the offscreen screen (800 x 800) each time it is shown, and so is the About window.
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 800));
        for (QWidget* window : QList<QWidget*>{app.Form2.get(), app.Form6.get()}) {
            window->show();
            window->move(10, 10);
            window->hide();
            window->show();
        }
        QCOMPARE(app.Form2->pos(), QPoint(219, 150));
        QCOMPARE(app.Form6->pos(), QPoint(207, 364));
    }

    void modesLoadUntilAGapAndSaveRenumbers() {
        WriteSettings(dir->path(),
                      QStringLiteral("[AmbiLight]\r\n1=10,20\r\n2=30,40\r\n3=50,60\r\n5=70,80\r\n"));
        App app(dir->path());
        QComboBox* modes = Modes(app);
        QCOMPARE(ItemTexts(modes->model()), (QStringList{"0,150", "10,20", "30,40", "50,60"}));
        QCOMPARE(modes->currentIndex(), 0);
        app.Light().DeleteMode(2);
        QCOMPARE(ReadSettings(dir->path()), QStringLiteral("[AmbiLight]\r\n1=10,20\r\n2=50,60\r\n"));
    }

    // The settings beside an executable in a folder whose name is not valid UTF-8 are read and saved there.
    void settingsBesideAnExecutableInAnOddFolder() {
        messages::Recorder recorder;
        if (qEnvironmentVariableIsSet("VARNEX_ODD_FOLDER")) {  // the copy started below
            App app;
            QCOMPARE(Edit(app, 9)->text(), QStringLiteral("42"));
            Edit(app, 9)->setText(QStringLiteral("43"));
            Button(app.Form2.get(), "Button3")->click();
            QCOMPARE(recorder.texts(), QStringList());
            return;
        }
        // A copy of this program (beside it, where programs may run) in a folder that the shell renames to
        // bytes that are not UTF-8 while the copy runs from the folder above.
        QTemporaryDir odd(QCoreApplication::applicationDirPath() + QStringLiteral("/odd-XXXXXX"));
        QVERIFY(QDir(odd.path()).mkdir(QStringLiteral("plain")));
        WriteSettings(odd.filePath("plain"), QStringLiteral("[Общие настройки]\nID контакта=42\n"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), odd.filePath("plain/program")));
        QProcess shell;
        shell.setWorkingDirectory(odd.path());
        shell.setProcessChannelMode(QProcess::ForwardedChannels);
        shell.start(
            "sh", {"-c",
                   "odd=$(printf '\\377\\376'); mv plain \"$odd\" && VARNEX_ODD_FOLDER=1 \"./$odd/program\" "
                   "settingsBesideAnExecutableInAnOddFolder; s=$?; mv \"$odd\" plain; exit $s"});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.exitCode(), 0);
        QVERIFY(ReadSettings(odd.filePath("plain"))
                    .startsWith(QStringLiteral("[Общие настройки]\nID контакта=43\n")));
    }

    void contactIdTakesDigitsOnly() {
        App app(dir->path());
        QLineEdit* edit = Edit(app, 9);
        app.Form2->show();
        QTest::keyClicks(edit, QStringLiteral("12a3 "));
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QStringLiteral("б"), Qt::NoModifier);
        QTest::keyClicks(edit, QStringLiteral("4"));
        QCOMPARE(edit->text(), QStringLiteral("1234"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("123"));
        QInputMethodEvent composed;  // an input method's commit
        composed.setCommitString(QStringLiteral("5ж6"));
        QApplication::sendEvent(edit, &composed);
        QCOMPARE(edit->text(), QStringLiteral("12356"));
        edit->setText(QStringLiteral("123"));
        edit->insert(QStringLiteral("x9"));  // pasted text is not filtered
        QCOMPARE(edit->text(), QStringLiteral("123x9"));
    }

    void minimiseOptionActsOnceTheLoopRuns() {
        WriteSettings(dir->path(),
                      QStringLiteral("[Общие настройки]\nСворачивать программу при запуске=1\n"));
        App app(dir->path());
        app.Form1->show();
        QVERIFY(app.Form1->isVisible());
        QTRY_VERIFY(app.Form1->isMinimized() || !app.Form1->isVisible());
    }
};

VARNEX_TEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
