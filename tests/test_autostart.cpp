// The autostart entry: written and deleted at once, and read by GLib (what desktops use) as running exactly
// the executable's full path, blanks and shell characters included.

#include <gio/gdesktopappinfo.h>
#include <glib.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settings/autostart.h"
#include "tests/support/error_of.h"
#include "tests/support/settings_file.h"

namespace {

// The program that GLib's desktop entry reading would run: the Exec value split into arguments.
QStringList ExecArguments(const QString& desktopFile) {
    GKeyFile* keys = g_key_file_new();
    QStringList arguments;
    if (g_key_file_load_from_file(keys, desktopFile.toUtf8().constData(), G_KEY_FILE_NONE, nullptr)) {
        gchar* exec =
            g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
        gchar** argv = nullptr;
        if (exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr))
            for (gchar** a = argv; *a; ++a)
                arguments << QString::fromUtf8(*a).replace(QStringLiteral("%%"), "%");
        g_strfreev(argv);
        g_free(exec);
    }
    g_key_file_free(keys);
    return arguments;
}

// Whether GLib accepts the file as an application it can launch (it checks that Exec's program exists).
bool GlibAccepts(const QString& desktopFile) {
    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(desktopFile.toUtf8().constData());
    return info != nullptr;
}

}  // namespace

class AutostartTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString Entry() const { return dir_.filePath("config/autostart/VX_beacon.desktop"); }

private slots:
    void init() {
        QDir(dir_.path()).removeRecursively();
        QVERIFY(QDir().mkpath(dir_.path()));
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    }

    void entryRunsTheExecutablesFullPath() {
        const QStringList names = {"varnex", "Varnex App/var nex",
                                   "we\"ird $HOME `x` \\ 'q' (1)/v;a&r|x#~*?<>",
                                   "back\\slash\\$HOME\\\\\"/varnex", "100%/varnex"};
        for (const QString& name : names) {
            const QString program = dir_.filePath("bin/" + name);
            QVERIFY(QDir().mkpath(QFileInfo(program).path()));
            WriteFileBytes(program, {});
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

            QCOMPARE(ErrorOf([&] { SetAutorun(true, "VX_beacon", program); }), QString());
            QCOMPARE(ExecArguments(Entry()), QStringList{program});
            // GLib looks for the program before it expands "%%", so it cannot find one with "%" in its path.
            QVERIFY2(GlibAccepts(Entry()) || name.contains(u'%'), qPrintable(name));
        }
        const QByteArray text = ReadFileBytes(Entry());
        QVERIFY2(text.startsWith("[Desktop Entry]\n") && text.contains("\nType=Application\n") &&
                     text.contains("\nName=VX_beacon\n"),
                 text.constData());

        // A path without special characters stands as it is.
        SetAutorun(true, "VX_beacon", "/usr/bin/varnex");
        QVERIFY(ReadFileBytes(Entry()).contains("\nExec=/usr/bin/varnex\n"));
    }

    void unregisterDeletesAtOnceAndIsSilentWithoutAnEntry() {
        SetAutorun(true, "VX_beacon", "/usr/bin/varnex");
        QVERIFY(QFile::exists(Entry()));
        QCOMPARE(ErrorOf([] { SetAutorun(false, "VX_beacon", "/usr/bin/varnex"); }), QString());
        QVERIFY(!QFile::exists(Entry()));
        QCOMPARE(ErrorOf([] { SetAutorun(false, "VX_beacon", {}); }), QString());
        // Nothing to delete in a configuration folder that does not exist either.
        qputenv("XDG_CONFIG_HOME", dir_.filePath("none").toUtf8());
        QCOMPARE(ErrorOf([] { SetAutorun(false, "VX_beacon", {}); }), QString());
        QVERIFY(!QFile::exists(dir_.filePath("none")));
    }

    void defaultFolderIsInTheHomeConfig() {
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", dir_.path().toUtf8());
        for (const QByteArray& config : {QByteArray(), QByteArray("relative/config")}) {
            config.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
            QCOMPARE(AutostartFolder(), dir_.filePath(".config/autostart"));
            SetAutorun(true, "VX_beacon", "/usr/bin/varnex");
            QVERIFY(QFile::remove(dir_.filePath(".config/autostart/VX_beacon.desktop")));
        }
        qputenv("HOME", home);
    }

    void failuresAreReported() {
        // The autostart folder cannot be made: a file stands in its place.
        QVERIFY(QDir().mkpath(dir_.filePath("config")));
        WriteFileBytes(dir_.filePath("config/autostart"), {});
        QCOMPARE(ErrorOf([] { SetAutorun(true, "VX_beacon", "/usr/bin/varnex"); }),
                 QStringLiteral("Failed to set data for 'VX_beacon'"));
        QVERIFY(QFile::remove(dir_.filePath("config/autostart")));

        // The entry is a folder with something in it: it can be neither written nor deleted.
        QVERIFY(QDir().mkpath(Entry() + "/inside"));
        QCOMPARE(ErrorOf([] { SetAutorun(true, "VX_beacon", "/usr/bin/varnex"); }),
                 QStringLiteral("Failed to set data for 'VX_beacon'"));
        QCOMPARE(ErrorOf([] { SetAutorun(false, "VX_beacon", {}); }),
                 QStringLiteral("Failed to delete data for 'VX_beacon'"));
        QVERIFY(QFileInfo(Entry() + "/inside").isDir());
    }
};

QTEST_GUILESS_MAIN(AutostartTest)
#include "test_autostart.moc"
