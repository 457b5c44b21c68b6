// Loading the program's modules: from beside the executable or the folder VARNEX_MODULE_DIR names, never a
// module of another build, and a clear word on what each place answered.

#include <QDir>
#include <QTest>

#include "common/program_module.h"

class ProgramModuleTest : public QObject {
    Q_OBJECT

private slots:
    void loadsOnlyThisBuildsModules() {
        const QString here = QCoreApplication::applicationDirPath();
        qputenv("VARNEX_MODULE_DIR", QFile::encodeName(QStringLiteral(TEST_MODULE_FOLDER)));
        using Entry = int();
        QString error;
        const auto entry =
            reinterpret_cast<Entry*>(ResolveModuleSymbol("same_build.so", "VarnexTestEntry", error));
        QVERIFY2(entry, qPrintable(error));
        QCOMPARE(entry(), 42);

        QVERIFY(!ResolveModuleSymbol("other_build.so", "VarnexTestEntry", error));
        QCOMPARE(error,
                 QStringLiteral("%1/other_build.so: no such file; %2/other_build.so: a module of another "
                                "build of Varnex")
                     .arg(here, TEST_MODULE_FOLDER));

        qunsetenv("VARNEX_MODULE_DIR");  // the build folder is not looked in unless named
        QVERIFY(!ResolveModuleSymbol("same_build.so", "VarnexTestEntry", error));
        QCOMPARE(error, here + "/same_build.so: no such file");
    }
};

QTEST_GUILESS_MAIN(ProgramModuleTest)
#include "test_program_module.moc"
