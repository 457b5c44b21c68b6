// Loading the web engine's module.

#include "player/vk_page.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <stdexcept>

#include <unistd.h>

#include "common/program_module.h"

// Private Qt API, exported by Qt GUI and declared the same way by Qt's own modules (no public header has
// it): sets the context that every OpenGL context of the program shares with. Check it on a Qt upgrade.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// The engine wants a context to share with before it starts. The page has no view and draws nothing, so the
// engine is given a context that is never created: it then renders in software, and the program never loads
// the OpenGL driver (which costs tens of megabytes), neither at start-up nor here.
void ShareNoOpenGL() {
    if (!QOpenGLContext::globalShareContext()) qt_gl_set_global_share_context(new QOpenGLContext(qApp));
}

}  // namespace

void PrepareVkPageEnvironment() {
    // With no view the page is drawn in software, which Qt Quick's software backend says.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
}

VkPage* CreateVkPage(QObject* parent) {
    PrepareVkPageEnvironment();
    ShareNoOpenGL();
    QString error;
    if (auto* create = reinterpret_cast<CreateVkPageFunction*>(
            ResolveModuleSymbol(VkPageModule, CreateVkPageSymbol, error)))
        return create(parent);
    throw std::runtime_error(
        QStringLiteral("Cannot load the web browser module (%1)").arg(error).toStdString());
}
