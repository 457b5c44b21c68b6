#include "light/capture_choice.h"

#include <QtGlobal>

CaptureEnvironment CurrentCaptureEnvironment() {
    return {qEnvironmentVariable("VARNEX_CAPTURE"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("XDG_SESSION_TYPE")};
}

std::vector<CaptureKind> CaptureOrder(const CaptureEnvironment& environment, bool portalBuilt) {
    if (!portalBuilt || environment.forced == QLatin1String("x11")) return {CaptureKind::X11};
    if (environment.forced == QLatin1String("portal")) return {CaptureKind::Portal};
    const bool wayland = !environment.waylandDisplay.isEmpty() ||
                         environment.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    if (wayland) return {CaptureKind::Portal, CaptureKind::X11};
    return {CaptureKind::X11};
}
