#pragma once

// The Wayland desktop's screen capture as a module of its own (varnex_portal.so, beside the executable): it
// alone links libpipewire, and the program loads it the first time AmbiLight starts on a desktop that asks
// for the portal, so that no other run loads PipeWire.

#include <QString>

#include "light/screen_capture.h"

struct CaptureHooks;

// The module's one entry point, resolved by name: a capture through the desktop portal wired to `hooks`, or
// nullptr with the message to show in `error` when the session bus has no portal to ask.
extern "C" using CreatePortalCaptureFunction = ScreenCapture * (const CaptureHooks& hooks, QString& error);
inline constexpr char CreatePortalCaptureSymbol[] = "VarnexCreatePortalCapture";
inline constexpr char PortalCaptureModule[] = "varnex_portal.so";
