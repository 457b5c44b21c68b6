#include "platform/screen_capture_factory.h"

#include <stdexcept>

#include "common/program_module.h"
#include "light/capture_choice.h"
#include "platform/x11/screen_capture_x11.h"
#ifdef VARNEX_PORTAL_CAPTURE
#include "platform/wayland/portal_capture_module.h"
#endif

namespace {

#ifdef VARNEX_PORTAL_CAPTURE
constexpr bool PortalBuilt = true;

std::unique_ptr<ScreenCapture> makePortal(const CaptureHooks& hooks) {
    QString error;
    auto* create = reinterpret_cast<CreatePortalCaptureFunction*>(
        ResolveModuleSymbol(PortalCaptureModule, CreatePortalCaptureSymbol, error));
    if (!create) throw std::runtime_error("Cannot load the screen cast module (" + error.toStdString() + ")");
    std::unique_ptr<ScreenCapture> capture(create(hooks, error));
    if (!capture) throw std::runtime_error(error.toStdString());
    return capture;
}
#else
constexpr bool PortalBuilt = false;
#endif

std::unique_ptr<ScreenCapture> make(CaptureKind kind, [[maybe_unused]] const CaptureHooks& hooks) {
    switch (kind) {
        case CaptureKind::X11:
            return std::make_unique<ScreenCaptureX11>();
        case CaptureKind::Portal:
#ifdef VARNEX_PORTAL_CAPTURE
            return makePortal(hooks);
#else
            break;
#endif
    }
    throw std::logic_error("No adapter for this screen capture");
}

}  // namespace

std::unique_ptr<ScreenCapture> MakeScreenCapture(const CaptureHooks& hooks) {
    const std::vector<CaptureKind> order = CaptureOrder(CurrentCaptureEnvironment(), PortalBuilt);
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        try {
            return make(order[i], hooks);
        } catch (const std::runtime_error&) {
            // This desktop does not offer it: the next one in the order serves.
        }
    }
    return make(order.back(), hooks);
}
