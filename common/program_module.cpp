#include "common/program_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include "common/module_build.h"

namespace {

// Where modules are looked for: beside the executable, then the folder VARNEX_MODULE_DIR names (the tests and
// benchmarks, which sit in folders of their own, name the build folder).
QStringList moduleFolders() {
    QStringList folders{QCoreApplication::applicationDirPath()};
    const QString named = qEnvironmentVariable("VARNEX_MODULE_DIR");
    if (!named.isEmpty()) folders << named;
    return folders;
}

}  // namespace

QFunctionPointer ResolveModuleSymbol(const char* module, const char* symbol, QString& error) {
    QStringList tried;
    for (const QString& folder : moduleFolders()) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(module));
        if (!QFileInfo::exists(path)) {
            tried << path + QStringLiteral(": no such file");
            continue;
        }
        QLibrary library(path);  // unloaded only when the process ends
        const auto build = reinterpret_cast<ModuleBuildFunction*>(library.resolve(ModuleBuildSymbol));
        if (!build) {
            tried << library.errorString();
            continue;
        }
        if (qstrcmp(build(), VARNEX_BUILD_ID) != 0) {
            tried << path + QStringLiteral(": a module of another build of Varnex");
            continue;
        }
        if (const QFunctionPointer resolved = library.resolve(symbol)) return resolved;
        tried << library.errorString();
    }
    error = tried.join(QStringLiteral("; "));
    return nullptr;
}
