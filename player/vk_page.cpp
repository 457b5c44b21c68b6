// Finding and loading the web engine's module: beside the executable, else in the build folder (where the
// tests and benchmarks, which sit in folders of their own, find it).

#include "player/vk_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <stdexcept>

VkPage* CreateVkPage(QObject* parent) {
    QStringList tried;
    for (const QString& folder : {QCoreApplication::applicationDirPath(), QStringLiteral(VARNEX_BUILD_DIR)}) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(VkPageModule));
        if (!QFileInfo::exists(path)) {
            tried << path + QStringLiteral(": no such file");
            continue;
        }
        QLibrary module(path);  // stays loaded for the rest of the run
        if (auto* create = reinterpret_cast<CreateVkPageFunction*>(module.resolve(CreateVkPageSymbol)))
            return create(parent);
        tried << module.errorString();
    }
    throw std::runtime_error(QStringLiteral("Cannot load the web browser module (%1)")
                                 .arg(tried.join(QStringLiteral("; ")))
                                 .toStdString());
}
