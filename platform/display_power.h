#pragma once

// The display's power as the program switches it (the monitor-off button, the remote's monitor key), through
// what the session's desktop offers: GNOME's display configuration on a GNOME Wayland session, the outputs'
// power protocol of a wlroots compositor or of KDE's KWin on theirs, and X11 DPMS on an X11 session and
// wherever none of those is there (see DisplayPowerOrder). Neither action reports its outcome.

#include <memory>

class DisplayPower {
public:
    virtual ~DisplayPower() = default;

    // Switches the display off.
    virtual void Off() = 0;
    // Switches it on again, as user input would.
    virtual void Wake() = 0;
};

// The means of this session, chosen now, once: the first in DisplayPowerOrder that the session actually
// offers (its name on the session bus, its global in the compositor's registry). The X11 path is always
// there.
std::unique_ptr<DisplayPower> MakeDisplayPower();
