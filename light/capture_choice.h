#pragma once

// Which screen capture serves AmbiLight, chosen once when it starts. VARNEX_CAPTURE=x11|portal forces one
// (for tests, and for desktops that misreport their session); otherwise a Wayland session (WAYLAND_DISPLAY
// set, or XDG_SESSION_TYPE=wayland) tries the desktop portal first, since the X server of such a session
// sees only the windows of X clients, and falls back to X11 when the portal does not answer. Any other
// session uses X11.

#include <QString>
#include <vector>

enum class CaptureKind { X11, Portal };

struct CaptureEnvironment {
    QString forced;          // VARNEX_CAPTURE; any value other than "x11" or "portal" counts as unset
    QString waylandDisplay;  // WAYLAND_DISPLAY
    QString sessionType;     // XDG_SESSION_TYPE
};

// The environment of this process.
CaptureEnvironment CurrentCaptureEnvironment();

// The adapters to try, in order, until one starts. Without a portal adapter in the build, X11 alone.
std::vector<CaptureKind> CaptureOrder(const CaptureEnvironment& environment, bool portalBuilt);
