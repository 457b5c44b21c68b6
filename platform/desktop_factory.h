#pragma once

// The one place that picks the desktop the program runs on.

#include <memory>

#include "platform/desktop.h"

// The desktop of this session: an X11 display (also under Xwayland) for windows and the bell, the display's
// power through what the desktop offers (see MakeDisplayPower, chosen at the first switch), systemd-logind
// for power-off, and the capture that serves this session (see MakeScreenCapture).
std::unique_ptr<Desktop> MakeDesktop();
