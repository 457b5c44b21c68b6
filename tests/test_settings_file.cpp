// settings.ini on disk: the general keys and the AmbiLight modes read back as written, in the window's order,
// and a save that fails, or a file that cannot be read, loses nothing. The program's Settings read the file
// once and write each part into the file as it stands at the save.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>

#include "common/cp1251.h"
#include "settings/ambilight_modes.h"
#include "settings/general_settings.h"
#include "settings/profile_file.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "tests/support/error_of.h"
#include "tests/support/settings_file.h"

namespace {

// Runs check in a child process as an ordinary user (nobody), since root may write any file; false when the
// check fails or the child does not end within 10 s. Without root, it runs as the current user.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        _exit(check() ? 0 : 1);
    }
    const QDeadlineTimer deadline(10000);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return false;
        }
        QTest::qWait(10);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

GeneralSettings Sample() {
    GeneralSettings settings;
    settings.port = QStringLiteral("ttyUSB0");
    settings.checkBoxes = {true, false, true, true, false, true, false, true, false};
    for (int i = 0; i <= 9; ++i) settings.edits[i] = QStringLiteral("KEY_%1 кнопка").arg(i);
    settings.edits[0] = QStringLiteral("/opt/Win Lirc/lircd \"x\"");
    settings.edits[9] = QStringLiteral("1234567");
    return settings;
}

}  // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString Path(const QString& name = QStringLiteral("settings.ini")) const { return dir_.filePath(name); }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QVERIFY(QDir().mkpath(dir_.path()));
        // Readable by the ordinary user of AsOrdinaryUser.
        QFile::setPermissions(dir_.path(),
                              QFile::permissions(dir_.path()) | QFile::ReadOther | QFile::ExeOther);
    }

    void missingFileGivesTheDefaults() {
        const ProfileFile file = ProfileFile::Load(Path());
        QVERIFY(file.IsWhole());
        const GeneralSettings settings = ReadGeneralSettings(file);
        QCOMPARE(settings.port, QString());
        QVERIFY((settings.checkBoxes ==
                 std::array<bool, 9>{false, false, false, false, false, false, false, false, true}));
        QVERIFY((settings.edits == std::array<QString, 10>{}));
        QCOMPARE(ReadModes(file), QStringList());
        QVERIFY(!QFile::exists(Path()));
    }

    void everyKeyReadsBackAsWrittenInTheWindowsOrder() {
        ProfileFile file = ProfileFile::Load(Path());
        WriteGeneralSettings(file, Sample());
        WriteModes(file, {QStringLiteral("0,300"), QStringLiteral("10,20")});
        file.Save(Path());
        QCOMPARE(ReadSettings(dir_.path()), QStringLiteral("[Общие настройки]\r\n"
                                                           "Выбор порта =ttyUSB0\r\n"
                                                           "Подключаться к порту при запуске программы=1\r\n"
                                                           "\"Выключать свет\" при запуске программы=0\r\n"
                                                           "Запускать программу при загрузке Windows=1\r\n"
                                                           "Сворачивать программу при запуске=1\r\n"
                                                           "Открывать WinLirc при запуске программы=0\r\n"
                                                           "Подключаться к WinLirc автоматически=1\r\n"
                                                           "Создавать плейлист vk при запуске программы=0\r\n"
                                                           "Использовать звук при нажатии нопки пульта=1\r\n"
                                                           "Использовать подсказки в главном окне=0\r\n"
                                                           "Путь к WinLirc=/opt/Win Lirc/lircd \"x\"\r\n"
                                                           "Воспроизвести / пауза=KEY_1 кнопка\r\n"
                                                           "Следующая песня=KEY_2 кнопка\r\n"
                                                           "Предыдущая песня=KEY_3 кнопка\r\n"
                                                           "Светомузыка=KEY_4 кнопка\r\n"
                                                           "AmbiLight=KEY_5 кнопка\r\n"
                                                           "Выкл. компьютера (3 секунды)=KEY_6 кнопка\r\n"
                                                           "Отмена=KEY_7 кнопка\r\n"
                                                           "Вкл / выкл монитор (3 секунды)=KEY_8 кнопка\r\n"
                                                           "ID контакта=1234567\r\n"
                                                           "[AmbiLight]\r\n1=0,300\r\n2=10,20\r\n"));

        const ProfileFile again = ProfileFile::Load(Path());
        QVERIFY(ReadGeneralSettings(again) == Sample());
        QCOMPARE(ReadModes(again), (QStringList{"0,300", "10,20"}));
        // Every flag both ways, and back to the defaults' opposite.
        GeneralSettings flipped = Sample();
        for (bool& box : flipped.checkBoxes) box = !box;
        flipped.port.clear();
        ProfileFile changed = ProfileFile::Load(Path());
        WriteGeneralSettings(changed, flipped);
        changed.Save(Path());
        QVERIFY(ReadGeneralSettings(ProfileFile::Load(Path())) == flipped);
    }

    void modesStopAtAGapAndAreNumberedAnew() {
        const QString longMode(3000, u'9');
        WriteSettings(dir_.path(),
                      "[AmbiLight]\r\n1=0,300\r\n02=leading zero\r\n2=\"abc\"\r\n; foreign\r\n3=" + longMode +
                          "\r\n5=9,9\r\n2=shadowed\r\n[Общие настройки]\r\nAmbiLight=KEY_A\r\n");
        ProfileFile file = ProfileFile::Load(Path());
        // A gap ends the list; values are not checked but cut; the first of duplicate keys counts; "02" is no
        // number.
        QStringList modes = ReadModes(file);
        QCOMPARE(modes, (QStringList{"0,300", "abc", longMode.left(2047)}));
        // Deleting the first renumbers: the section is written anew, so the stray 5 is gone (or it would be
        // loaded later), and so is every line but the modes.
        modes.removeFirst();
        WriteModes(file, modes);
        file.Save(Path());
        QCOMPARE(ReadSettings(dir_.path()),
                 "[Общие настройки]\r\nAmbiLight=KEY_A\r\n[AmbiLight]\r\n1=abc\r\n2=" + longMode.left(2047) +
                     "\r\n");
        // Without modes the file has no such section.
        WriteModes(file, {});
        QCOMPARE(cp1251::Decode(file.ToBytes()), QStringLiteral("[Общие настройки]\r\nAmbiLight=KEY_A\r\n"));
    }

    void unknownLinesSurviveASave() {
        const QByteArray before = cp1251::Encode(QStringLiteral("; written by hand\n"
                                                                "[Чужая секция]\n"
                                                                "ключ=значение\n"
                                                                "[общие настройки]\n"
                                                                "Неизвестный ключ=1\n"
                                                                "строка без равенства\n"
                                                                "ID контакта=5\n"
                                                                "\n"
                                                                "[Ещё одна]\n"
                                                                "x = y \n")) +
                                  "binary \x98\x00\xff line\n";
        WriteFileBytes(Path(), before);
        ProfileFile file = ProfileFile::Load(Path());
        GeneralSettings settings = ReadGeneralSettings(file);
        QCOMPARE(settings.edits[9], QStringLiteral("5"));
        settings.edits[9] = QStringLiteral("6");
        WriteGeneralSettings(file, settings);
        file.Save(Path());

        const QByteArray after = ReadFileBytes(Path());
        // Every line but the rewritten one is still there, in order, byte for byte.
        QByteArray expected = before;
        expected.replace(cp1251::Encode(u"ID контакта=5"), cp1251::Encode(u"ID контакта=6"));
        QByteArray rest = after;
        for (const QByteArray& line : expected.split('\n')) {
            const qsizetype at = rest.indexOf(line);
            QVERIFY2(at >= 0, line.constData());
            rest = rest.mid(at + line.size());
        }
        QVERIFY(ReadGeneralSettings(ProfileFile::Load(Path())) == settings);
        // The new keys went into the general section, before its blank line.
        QVERIFY(after.indexOf(cp1251::Encode(settings_keys::kLEditLabels[8])) < after.indexOf("\n\n["));
    }

    // A read-only file is not replaced; a writable file in a read-only folder is rewritten in place (for an
    // ordinary user). On a full disk (here a file size limit) both ways leave the file as it was.
    void savesWhereTheFileIsWritableOnly() {
        const QByteArray old = cp1251::Encode(QStringLiteral("[Общие настройки]\r\nID контакта=1\r\n"));
        const QString full = Path("open/settings.ini"), path = Path("locked/settings.ini"),
                      grown = Path("locked/grown.ini");
        const QByteArray modes = "[AmbiLight]\r\n1=0,1\r\n2=7,7\r\n";
        QVERIFY(QDir().mkpath(Path("locked")) && QDir().mkpath(Path("open")));
        for (const QString& file : {Path(), full, path, grown}) {
            WriteFileBytes(file, file == Path() || file == full ? old : modes);
            QVERIFY(QFile::setPermissions(file, QFile::permissions(file) | QFile::WriteOther));
        }
        QVERIFY(QFile::setPermissions(Path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(Path("open"), QFile::permissions(Path("open")) | QFile::WriteOther));
        QVERIFY(QFile::setPermissions(Path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                          QFile::ReadOther | QFile::ExeOther));
        const auto save = [](const QString& at, int modes) {
            ProfileFile file = ProfileFile::Load(at);
            WriteModes(file, QStringList(modes, QStringLiteral("5,5")));
            return ErrorOf([&] { file.Save(at); });
        };
        QVERIFY(AsOrdinaryUser([&] {
            const bool saved = save(Path(), 1) == "Unable to write to " + Path() && save(path, 1).isEmpty();
            signal(SIGXFSZ, SIG_IGN);
            const rlimit fullDisk{100, 100};
            return saved && setrlimit(RLIMIT_FSIZE, &fullDisk) == 0 &&
                   save(full, 20) == "Unable to write to " + full &&
                   save(grown, 20) == "Unable to write to " + grown;
        }));
        QCOMPARE(ReadFileBytes(Path()), old);
        QCOMPARE(ReadFileBytes(full), old);
        QCOMPARE(ReadFileBytes(path), QByteArray("[AmbiLight]\r\n1=5,5\r\n"));
        QCOMPARE(ReadFileBytes(grown), modes);
        QCOMPARE(QDir(Path("open")).entryList(QDir::Files), QStringList{"settings.ini"});

        // A folder where the file should be.
        QVERIFY(QDir().mkpath(Path("folder.ini/inside")));
        QCOMPARE(ErrorOf([&] { ProfileFile().Save(Path("folder.ini")); }),
                 "Unable to write to " + Path("folder.ini"));
        QVERIFY(QFileInfo(Path("folder.ini/inside")).isDir());

        // A path under a regular file; the text names the full path also for a relative one.
        QVERIFY(QDir::setCurrent(dir_.path()));
        QCOMPARE(ErrorOf([&] { ProfileFile().Save(QStringLiteral("settings.ini/settings.ini")); }),
                 "Unable to write to " + Path("settings.ini/settings.ini"));
        QCOMPARE(ReadFileBytes(Path()), old);
    }

    void unreadableFileGivesDefaultsAndIsNeverOverwritten() {
        // A folder in place of the file.
        QVERIFY(QDir().mkpath(Path()));
        ProfileFile folder = ProfileFile::Load(Path());
        QVERIFY(!folder.IsWhole());
        QVERIFY(ReadGeneralSettings(folder) == ReadGeneralSettings(ProfileFile()));
        QCOMPARE(ErrorOf([&] { folder.Save(Path()); }), "Unable to write to " + Path());
        QVERIFY(QFileInfo(Path()).isDir());

        // A file too large to be settings (sparse, so it costs no disk).
        const QString huge = Path("huge.ini");
        WriteFileBytes(huge, "[AmbiLight]\n1=0,1\n");
        QVERIFY(QFile::resize(huge, ProfileFile::kMaxFileSize + 1));
        ProfileFile large = ProfileFile::Load(huge);
        QVERIFY(!large.IsWhole());
        QCOMPARE(ReadModes(large), QStringList());
        WriteModes(large, {QStringLiteral("1,1")});
        QVERIFY(!ErrorOf([&] { large.Save(huge); }).isEmpty());
        QCOMPARE(QFileInfo(huge).size(), ProfileFile::kMaxFileSize + 1);
        QVERIFY(ReadFileBytes(huge).startsWith("[AmbiLight]\n1=0,1\n"));

        // A file the user may not read, and a named pipe (read at once, without waiting for a writer).
        const QString secret = Path("secret.ini");
        const QString pipe = Path("pipe.ini");
        WriteFileBytes(secret, "[AmbiLight]\n1=0,1\n");
        QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteOther));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0666), 0);
        QVERIFY(AsOrdinaryUser([&] {
            return std::ranges::all_of(QStringList{secret, pipe}, [](const QString& path) {
                ProfileFile file = ProfileFile::Load(path);
                WriteModes(file, {});
                return !file.IsWhole() && ReadModes(file).isEmpty() &&
                       !ErrorOf([&] { file.Save(path); }).isEmpty();
            });
        }));
        QCOMPARE(ReadFileBytes(secret), QByteArray("[AmbiLight]\n1=0,1\n"));
        QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    }

    // Read once: later changes on disk do not reach the values of the run. Each save loads the file as it
    // stands, writes its own keys and keeps every other line, also one changed on disk since the start.
    void settingsReadOnceAndEverySaveWritesItsOwnKeys() {
        WriteSettings(dir_.path(),
                      QStringLiteral("; mine\n[Общие настройки]\nID контакта=5\n\n"
                                     "[AmbiLight]\n1=10,20\n[Varnex]\nScreenCastRestoreToken=tok\n"));
        Settings settings(Path());
        QCOMPARE(settings.General().edits[9], QStringLiteral("5"));
        QVERIFY(settings.General().CheckBox(9) && !settings.General().CheckBox(1));
        QCOMPARE(settings.Modes(), QStringList{"10,20"});
        QCOMPARE(settings.ScreenCastToken(), QStringLiteral("tok"));
        QString onDisk = QStringLiteral(
            "; mine, changed\n[Общие настройки]\nID контакта=7\n\n"
            "[AmbiLight]\n1=10,20\n2=30,40\n[Varnex]\nScreenCastRestoreToken=tok\n");
        WriteSettings(dir_.path(), onDisk);
        QCOMPARE(settings.General().edits[9], QStringLiteral("5"));
        QCOMPARE(settings.Modes(), QStringList{"10,20"});

        QSignalSpy general(&settings, &Settings::GeneralChanged), modes(&settings, &Settings::ModesChanged),
            token(&settings, &Settings::ScreenCastTokenChanged);
        GeneralSettings changed = settings.General();
        changed.CheckBox(1) = true;
        changed.edits[9] = QStringLiteral("6");
        settings.SaveGeneral(changed);
        // The known key in place, the missing ones after it in the window's order, before the blank line.
        QString added = QStringLiteral("ID контакта=6\nВыбор порта =\n");
        for (int n = 1; n <= 9; ++n)
            added += settings_keys::kCheckBoxCaptions[n - 1] + (n == 1 || n == 9 ? "=1\n" : "=0\n");
        for (int n = 0; n <= 8; ++n) added += settings_keys::kLEditLabels[n] + "=\n";
        onDisk.replace(QStringLiteral("ID контакта=7\n"), added);
        QCOMPARE(ReadSettings(dir_.path()), onDisk);
        QVERIFY(settings.General() == changed);
        QCOMPARE(general.count(), 1);
        QVERIFY(general.at(0).at(0).value<GeneralSettings>() == changed);

        // The same values again announce nothing, but are written: the file has the run's values.
        WriteSettings(dir_.path(),
                      onDisk.replace(QStringLiteral("ID контакта=6"), QStringLiteral("ID контакта=8")));
        settings.SaveGeneral(changed);
        QCOMPARE(ReadSettings(dir_.path()),
                 onDisk.replace(QStringLiteral("ID контакта=8"), QStringLiteral("ID контакта=6")));
        QCOMPARE(general.count(), 1);

        // The modes section is written anew at the end; the token is replaced in place, and one the file
        // would not read back as it is (blanks at its ends) is kept as none.
        settings.SaveModes({QStringLiteral("0,300")});
        onDisk.replace(QStringLiteral("[AmbiLight]\n1=10,20\n2=30,40\n"), QString());
        QCOMPARE(ReadSettings(dir_.path()), onDisk + QStringLiteral("[AmbiLight]\n1=0,300\n"));
        settings.SaveScreenCastToken(QStringLiteral("new"));
        QVERIFY(
            ReadSettings(dir_.path()).contains(QStringLiteral("\nScreenCastRestoreToken=new\n[AmbiLight]")));
        settings.SaveScreenCastToken(QStringLiteral(" spaced "));
        QVERIFY(ReadSettings(dir_.path()).contains(QStringLiteral("\nScreenCastRestoreToken=\n[AmbiLight]")));
        QCOMPARE(settings.ScreenCastToken(), QString());
        QCOMPARE(modes.count(), 1);
        QCOMPARE(token.count(), 2);
    }

    // A save that cannot write leaves the file byte for byte and says so; the values are the run's all the
    // same.
    void settingsSaveThatFailsLeavesTheFile() {
        const QByteArray old = cp1251::Encode(QStringLiteral("[Общие настройки]\r\nID контакта=1\r\n"));
        WriteFileBytes(Path(), old);
        QVERIFY(QFile::setPermissions(Path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(AsOrdinaryUser([&] {
            Settings settings(Path());
            GeneralSettings changed = settings.General();
            changed.edits[9] = QStringLiteral("2");
            const QString unable = "Unable to write to " + Path();
            return settings.General().edits[9] == "1" &&
                   ErrorOf([&] { settings.SaveGeneral(changed); }) == unable &&
                   ErrorOf([&] { settings.SaveModes({QStringLiteral("1,1")}); }) == unable &&
                   ErrorOf([&] { settings.SaveScreenCastToken(QStringLiteral("t")); }) == unable &&
                   settings.General() == changed && settings.Modes() == QStringList{"1,1"} &&
                   settings.ScreenCastToken() == "t";
        }));
        QCOMPARE(ReadFileBytes(Path()), old);
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "test_settings_file.moc"
