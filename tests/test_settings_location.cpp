// Where settings.ini lives. A copy of this test program stands for the program: it sits in a folder of its
// own, is started as a user who may or may not write there, and reads and saves its settings as the program
// does. Tests run as root start the copy as another user ("nobody"), since root may write any folder.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "common/messages.h"
#include "settings/settings_window.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

namespace {

constexpr uid_t kNobody = 65534;

// The copy's part: the application as the program starts it, from the copy's folder. It checks the contact ID
// it read, saves another one and says nothing.
int ReadAndSaveAsTheProgram() {
    messages::Recorder recorder;
    App app;
    auto* contact = app.Form2->findChild<QLineEdit*>(QStringLiteral("LEdit9"));
    const QString read = contact->text();
    if (read != qEnvironmentVariable("VARNEX_READ_ID")) {
        std::fprintf(stderr, "read ID %s from %s\n", qPrintable(read), qPrintable(app.SettingsPath()));
        return 1;
    }
    contact->setText(qEnvironmentVariable("VARNEX_SAVE_ID"));
    app.Form2->findChild<QPushButton*>(QStringLiteral("Button3"))->click();
    if (!recorder.texts().isEmpty()) {
        std::fprintf(stderr, "said: %s\n", qPrintable(recorder.texts().join(u'\n')));
        return 1;
    }
    return 0;
}

QString ContactLine(const QString& id) {
    return QStringLiteral("ID контакта=") + id;
}

}  // namespace

class SettingsLocationTest : public QObject {
    Q_OBJECT

    bool root_ = ::geteuid() == 0;
    // Where the copy can run: beside this program, unless the copy runs as another user, who may not reach
    // a build folder in root's home.
    QTemporaryDir work_{(::geteuid() == 0 ? QDir::tempPath() : QCoreApplication::applicationDirPath()) +
                        QStringLiteral("/location-XXXXXX")};
    QString program_ = work_.filePath(QStringLiteral("program"));
    QString home_ = work_.filePath(QStringLiteral("home"));
    QString config_ = work_.filePath(QStringLiteral("config"));
    QString runtime_ = work_.filePath(QStringLiteral("runtime"));

    // The path made the copy's user's own.
    void own(const QString& path) {
        if (root_) QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
    }
    void setMode(const QString& path, mode_t mode) {
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);
    }

    // Starts the copy with XDG_CONFIG_HOME set to `configHome` (unset when null) and HOME at home_; it
    // expects to read `readId` and saves `saveId`.
    void runCopy(const QString& configHome, const QString& readId, const QString& saveId) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_);
        env.remove(QStringLiteral("XDG_CACHE_HOME"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
        if (configHome.isNull())
            env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        else
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("VARNEX_READ_ID"), readId);
        env.insert(QStringLiteral("VARNEX_SAVE_ID"), saveId);
        QProcess copy;
        copy.setProcessEnvironment(env);
        copy.setWorkingDirectory(work_.path());
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString executable = program_ + QStringLiteral("/varnex");
        if (root_) {
            copy.start(QStringLiteral("setpriv"),
                       {QStringLiteral("--reuid=%1").arg(kNobody), QStringLiteral("--regid=%1").arg(kNobody),
                        QStringLiteral("--clear-groups"), QStringLiteral("--"), executable});
        } else {
            copy.start(executable, QStringList{});
        }
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        setMode(work_.path(), 0755);
        for (const QString& folder : {program_, home_, config_, runtime_}) {
            QVERIFY(QDir().mkdir(folder));
            own(folder);
        }
        setMode(runtime_, 0700);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program_ + QStringLiteral("/varnex")));
        own(program_ + QStringLiteral("/varnex"));
    }

    void cleanupTestCase() {
        setMode(program_, 0755);  // so that the folder can be removed
    }

    void besideTheProgramOrInTheUsersConfigFolder() {
        const QString besideFile = program_ + QStringLiteral("/settings.ini");
        const QString defaultConfig = home_ + QStringLiteral("/.config/varnex");
        const QString givenConfig = config_ + QStringLiteral("/varnex");

        // Installed: the folder is not the user's to write. The settings go to ~/.config/varnex, made on the
        // first save, or to $XDG_CONFIG_HOME/varnex; a relative XDG_CONFIG_HOME counts as unset.
        setMode(program_, 0555);
        runCopy({}, {}, QStringLiteral("51"));
        QVERIFY(ReadSettings(defaultConfig).contains(ContactLine("51")));
        runCopy(config_, {}, QStringLiteral("52"));
        QVERIFY(ReadSettings(givenConfig).contains(ContactLine("52")));
        runCopy(QStringLiteral("config"), QStringLiteral("51"), QStringLiteral("53"));
        QVERIFY(ReadSettings(defaultConfig).contains(ContactLine("53")));
        QVERIFY(!QFile::exists(besideFile));

        // A settings.ini beside the program that the user may write is read first and saved in place, even in
        // a folder the user may not write (a portable folder on a read-only disk).
        setMode(program_, 0755);
        WriteSettings(program_, QStringLiteral("[Общие настройки]\r\n") + ContactLine("54") + "\r\n");
        own(besideFile);
        setMode(program_, 0555);
        runCopy(config_, QStringLiteral("54"), QStringLiteral("55"));
        QVERIFY(ReadSettings(program_).contains(ContactLine("55")));
        QVERIFY(ReadSettings(givenConfig).contains(ContactLine("52")));

        // One that only another user may change (left by a run as root) would turn every save into an error:
        // the user's own is used instead.
        setMode(besideFile, 0444);
        runCopy(config_, QStringLiteral("52"), QStringLiteral("56"));
        QVERIFY(ReadSettings(givenConfig).contains(ContactLine("56")));
        QVERIFY(ReadSettings(program_).contains(ContactLine("55")));

        // A portable folder: the first save makes settings.ini beside the program.
        setMode(program_, 0755);
        QVERIFY(QFile::remove(besideFile));
        runCopy(config_, {}, QStringLiteral("57"));
        QVERIFY(ReadSettings(program_).contains(ContactLine("57")));
        QVERIFY(ReadSettings(givenConfig).contains(ContactLine("56")));
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    App::Prepare();
    if (qEnvironmentVariableIsSet("VARNEX_SAVE_ID")) return ReadAndSaveAsTheProgram();
    SettingsLocationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_settings_location.moc"
