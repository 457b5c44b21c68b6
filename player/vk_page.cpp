// Finding and loading the web engine's module: beside the executable, else in the build folder (where the
// tests and benchmarks, which sit in folders of their own, find it).

#include "player/vk_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <stdexcept>

// Qt's own modules declare it so too: the context that every OpenGL context of the program shares with.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// The engine wants a context to share with before it starts. The page has no view and draws nothing, so the
// engine is given a context that is never created: it then renders in software, and the program never loads
// the OpenGL driver (which costs tens of megabytes), neither at start-up nor here.
void ShareNoOpenGL() {
    if (!QOpenGLContext::globalShareContext()) qt_gl_set_global_share_context(new QOpenGLContext(qApp));
}

}  // namespace

VkPage* CreateVkPage(QObject* parent) {
    ShareNoOpenGL();
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
