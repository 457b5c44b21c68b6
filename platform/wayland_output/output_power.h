#pragma once

// The outputs' power on a Wayland compositor that lets an ordinary client switch it: wlroots compositors
// (sway and others) through wlr-output-power-management, KDE's KWin through its DPMS protocol. The program's
// windows run through XWayland, so each request opens a short connection of its own to the compositor
// (WAYLAND_DISPLAY), sets every output and closes it: wlroots grants one client at a time the control of an
// output, and nothing of it is held between requests. No request waits longer than about a second for a
// compositor that does not answer; failures are logged, not reported.

#include <vector>

namespace wayland_output {

enum class PowerProtocol { Wlr, KdeDpms };

// The power protocols the compositor offers this client, in the order above; none when there is no
// compositor to reach.
std::vector<PowerProtocol> OfferedPowerProtocols();

// Switches every output off, or on again, through `protocol`.
void SetPower(PowerProtocol protocol, bool on);

}  // namespace wayland_output
