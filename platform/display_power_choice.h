#pragma once

// Which means of switching the display's power to try, from what the session says it is. On a Wayland
// session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland, as for the screen capture) the X server is
// XWayland, whose DPMS and input reach no monitor, so the desktop's own means come first, its own kind
// (XDG_CURRENT_DESKTOP) before the others; X11 is the last resort there and the only means elsewhere.

#include <QString>
#include <vector>

enum class DisplayPowerMeans {
    GnomeDisplayConfig,  // mutter's org.gnome.Mutter.DisplayConfig, its PowerSaveMode
    WlrOutputPower,      // wlr-output-power-management (sway and other wlroots compositors)
    KdeDpms,             // KWin's org_kde_kwin_dpms
    X11,                 // X11 DPMS, or the screen saver where the X server has no DPMS
};

struct DisplayPowerSession {
    QString waylandDisplay;  // WAYLAND_DISPLAY
    QString sessionType;     // XDG_SESSION_TYPE
    QString currentDesktop;  // XDG_CURRENT_DESKTOP: names separated by colons, e.g. "ubuntu:GNOME"
};

// The environment of this process.
DisplayPowerSession CurrentDisplayPowerSession();

// The means to try, in order, until one is offered; X11 is always the last.
std::vector<DisplayPowerMeans> DisplayPowerOrder(const DisplayPowerSession& session);
