#pragma once

// The computer's power actions as the remote and the main window use them. None of them reports its outcome:
// each does what the desktop allows and returns at once.

#include <functional>

namespace power {

// Switches the display off: X11 DPMS (enabled first, since a desktop may have it off; a user's disabled DPMS
// is put back once the display is on again, or when the program ends); where the X server has no DPMS, the
// screen saver is forced on instead. Nothing happens without an X display.
void MonitorOff();

// Wakes the display with a relative pointer motion of zero (XTest), as any user input would.
void MonitorWake();

// Asks systemd-logind on the system bus to power the computer off: CanPowerOff first, then PowerOff as an
// interactive request, so that polkit may ask the user for the right it needs. Both calls are asynchronous,
// so a question from polkit never freezes the window; without a system bus, or when logind answers "na" or
// "no" or refuses, nothing happens. `guard` runs the handling of each reply (the program's handler wrapper).
void PowerOff(const std::function<void(const std::function<void()>&)>& guard);

}  // namespace power
