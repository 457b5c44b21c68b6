#include "platform/display_power_choice.h"

#include <QStringList>
#include <QtGlobal>

DisplayPowerSession CurrentDisplayPowerSession() {
    return {qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("XDG_SESSION_TYPE"),
            qEnvironmentVariable("XDG_CURRENT_DESKTOP")};
}

std::vector<DisplayPowerMeans> DisplayPowerOrder(const DisplayPowerSession& session) {
    using M = DisplayPowerMeans;
    const bool wayland = !session.waylandDisplay.isEmpty() ||
                         session.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    if (!wayland) return {M::X11};
    const QStringList desktops = session.currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    // Pantheon's gala is built on mutter and offers its display configuration too.
    if (desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive) ||
        desktops.contains(QLatin1String("Pantheon"), Qt::CaseInsensitive))
        return {M::GnomeDisplayConfig, M::WlrOutputPower, M::KdeDpms, M::X11};
    if (desktops.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        return {M::KdeDpms, M::WlrOutputPower, M::GnomeDisplayConfig, M::X11};
    return {M::WlrOutputPower, M::KdeDpms, M::GnomeDisplayConfig, M::X11};
}
