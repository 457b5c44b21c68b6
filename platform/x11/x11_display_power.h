#pragma once

// The display's power on X11. Neither action reports its outcome: each does what the X server allows and
// returns at once.

namespace x11 {

// Switches the display off: X11 DPMS (enabled first, since a desktop may have it off; a user's disabled DPMS
// is put back once the display is on again, or when the program ends); where the X server has no DPMS, the
// screen saver is forced on instead. Nothing happens without an X display.
void MonitorOff();

// Wakes the display with a relative pointer motion of zero (XTest), as any user input would.
void MonitorWake();

}  // namespace x11
