// The entry point of the module varnex_portal.so.

#include "platform/wayland/portal_capture_module.h"

#include "platform/screen_capture_factory.h"
#include "platform/wayland/screen_capture_portal.h"

extern "C" Q_DECL_EXPORT ScreenCapture* VarnexCreatePortalCapture(const CaptureHooks& hooks, QString& error) {
    if (!ScreenCapturePortal::Offered()) {
        error = ScreenCapturePortal::MessageFor(ScreenCastPortal::Failure::Missing);
        return nullptr;
    }
    auto* capture = new ScreenCapturePortal(QDBusConnection::sessionBus(), hooks.restoreToken);
    if (hooks.keepRestoreToken)
        QObject::connect(capture, &ScreenCapturePortal::RestoreTokenChanged, hooks.keepRestoreToken);
    if (hooks.failed) QObject::connect(capture, &ScreenCapturePortal::Failed, hooks.failed);
    return capture;
}
