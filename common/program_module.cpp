#include "common/program_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

QFunctionPointer ResolveModuleSymbol(const char* module, const char* symbol, QString& error) {
    QStringList tried;
    for (const QString& folder : {QCoreApplication::applicationDirPath(), QStringLiteral(VARNEX_BUILD_DIR)}) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(module));
        if (!QFileInfo::exists(path)) {
            tried << path + QStringLiteral(": no such file");
            continue;
        }
        QLibrary library(path);  // unloaded only when the process ends
        if (const QFunctionPointer resolved = library.resolve(symbol)) return resolved;
        tried << library.errorString();
    }
    error = tried.join(QStringLiteral("; "));
    return nullptr;
}
