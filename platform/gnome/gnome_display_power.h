#pragma once

// The display's power on a GNOME Wayland session: mutter's display configuration on the session bus
// (org.gnome.Mutter.DisplayConfig), whose PowerSaveMode property switches every monitor, as GNOME's own
// power settings do when the session is idle.

namespace gnome {

// Whether mutter's display configuration is on the session bus; false without a session bus.
bool DisplayConfigOffered();

// Sets PowerSaveMode to off (3) or back on (0). The call is asynchronous and returns at once; a refusal or no
// answer within a few seconds is logged.
void SetMonitorsOn(bool on);

}  // namespace gnome
