#pragma once

// Powering the computer off through systemd-logind on the system bus.

#include <functional>

namespace logind {

// CanPowerOff first, then PowerOff as an interactive request, so that polkit may ask the user for the right
// it needs. Both calls are asynchronous, so a question from polkit never freezes the window; without a system
// bus, or when logind answers "na" or "no" or refuses, nothing happens. `guard` runs the handling of each
// reply (the program's handler wrapper).
void PowerOff(const std::function<void(const std::function<void()>&)>& guard);

}  // namespace logind
